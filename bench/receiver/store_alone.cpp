// The report store without HTTP: reports added straight through the receiver's own store,
// from a number of threads, each waiting for its commit as a request does. What it gives
// per second is the most the receiver could store over any HTTP layer.
//   bench-receiver-store DATABASE SECONDS THREADS
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "receiver/store.h"

int main(int argc, char** argv) {
    using namespace verlisk::receiver;
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench-receiver-store DATABASE SECONDS THREADS\n");
        return 2;
    }
    const auto store = OpenStore({argv[1]});
    const auto length = std::chrono::duration<double>(std::atof(argv[2]));
    const int threads = std::atoi(argv[3]);
    std::atomic<long> added{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            // Each report a flight of its own, as the HTTP load's are.
            for (long i = 0; std::chrono::steady_clock::now() - start < length; ++i) {
                Report r{"Sample_Aircraft",
                         52.5,
                         "2.0.27",
                         1950,
                         336,
                         "store." + std::to_string(t) + "-" + std::to_string(i)};
                store->Add({0, 1765000000000 + i, "127.0.0.1", std::move(r)});
                ++added;
            }
        });
    }
    for (auto& w : workers) w.join();
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.0f\n", static_cast<double>(added) / secs);
    return 0;
}
