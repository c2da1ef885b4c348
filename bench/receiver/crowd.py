#!/usr/bin/env python3
"""Holds connections to a receiver on loopback, as a crowd would: IDLE ones that send
nothing and TRICKLE ones that send a request head one byte a second, from 127.0.0.2 and
up, 60 from each address (under the receiver's 64). Whatever the receiver closes is
opened again, so the crowd stays whole. Prints "holding N" once all are connected, then
runs until it is ended.

    crowd.py PORT IDLE TRICKLE
"""
import selectors
import socket
import sys
import time

PER_ADDRESS = 60
HEAD = b"POST /receiver.php HTTP/1.1\r\nHost: crowd\r\nContent-Type: text/plain\r\n"


def main():
    port, idle, trickle = (int(a) for a in sys.argv[1:4])
    sel = selectors.DefaultSelector()
    socks = [None] * (idle + trickle)
    sent = [0] * len(socks)

    def connect(i):
        s = socket.socket()
        s.bind((f"127.0.0.{2 + i // PER_ADDRESS}", 0))
        s.connect(("127.0.0.1", port))
        s.setblocking(False)
        socks[i], sent[i] = s, 0
        sel.register(s, selectors.EVENT_READ, i)

    for i in range(len(socks)):
        connect(i)
    print(f"holding {len(socks)}", flush=True)
    next_byte = time.monotonic()
    while True:
        for key, _ in sel.select(timeout=0.2):
            i = key.data
            try:
                closed = not key.fileobj.recv(65536)
            except OSError:
                closed = True
            if closed:
                sel.unregister(key.fileobj)
                key.fileobj.close()
                connect(i)
        if time.monotonic() >= next_byte:
            next_byte += 1
            for i in range(idle, len(socks)):
                try:
                    socks[i].send(HEAD[sent[i] % len(HEAD):][:1])
                    sent[i] += 1
                except OSError:
                    pass


if __name__ == "__main__":
    main()
