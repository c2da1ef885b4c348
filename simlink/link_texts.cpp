#include "simlink/link_texts.h"

#include <array>
#include <charconv>

#include "common/text.h"
#include "simlink/bitwise_ops.h"

namespace verlisk {

namespace {

constexpr std::array<const char*, 16> kIpcErrorTexts = {
    "FSUIPC OK",
    "Attempt to Open when already Open",
    "Cannot link to FSUIPC or WideClient",
    "Failed to Register common message with Windows",
    "Failed to create Atom for mapping filename",
    "Failed to create a file mapping object",
    "Failed to open a view to the file map",
    "Incorrect version of FSUIPC, or not FSUIPC",
    "Sim is not version requested",
    "Call cannot execute, link not Open",
    "Call cannot execute: no requests accumulated",
    "IPC timed out all retries",
    "IPC sendmessage failed all retries",
    "IPC request contains bad data",
    "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
    "Read or Write request cannot be added, memory for Process is full",
};

constexpr std::array<const char*, 9> kSimNames = {"Any", "FS98",   "FS2K",   "CFS2",        "CFS1",
                                                  "FLY", "FS2002", "FSNEXT", "FSYETANOTHER"};

int Digit(std::int32_t word, int bits) { return Shift(word, bits, false) & 15; }

}  // namespace

std::string IpcErrorText(std::int32_t code) {
    return code >= 0 && code < static_cast<std::int32_t>(kIpcErrorTexts.size())
               ? kIpcErrorTexts[static_cast<std::size_t>(code)]
               : "";
}

std::string SimNames(std::int32_t sim) {
    return sim >= 0 && sim < static_cast<std::int32_t>(kSimNames.size())
               ? kSimNames[static_cast<std::size_t>(sim)]
               : "";
}

std::string VersionWordText(std::int32_t word) {
    std::string text;
    for (int bits : {28, 24, 20, 16}) {
        text += static_cast<char>('0' + Digit(word, bits));
        if (bits == 28) text += '.';
    }
    const auto build = static_cast<std::uint32_t>(word) & 0xFFFF;
    // Builds 1 to 26 are the letters a to z; a larger one is shown by its number,
    // since past z the letter arithmetic would give punctuation.
    if (build >= 1 && build <= 26) {
        text += static_cast<char>('a' + (build & 0xFF) - 1);
    } else if (build != 0) {
        text += '(';
        text += std::to_string(build);
        text += ')';
    }
    return text;
}

std::string GateVersionText(std::int32_t word) {
    const double version = Digit(word, 28) + Digit(word, 24) / 10.0;
    std::string text = version >= 0 ? " " : "";
    text += NumberText(version, ".");
    return text;
}

double GateVersionValue(const std::string& text) {
    const std::string t = Trim(text);
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

}  // namespace verlisk
