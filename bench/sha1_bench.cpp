// Times file_sha1_hex over one file: prints the digest and the best of a few runs in seconds.
//   sha1_bench <file> [runs]
#include "identity/file_sha1.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: sha1_bench <file> [runs]\n");
        return 64;
    }
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;
    double best = 0;
    std::string digest;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        auto result = ormolt::file_sha1_hex(argv[1]);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!result) {
            std::fprintf(stderr, "%s\n", result.error().message.c_str());
            return 1;
        }
        digest = *result;
        if (run == 0 || took.count() < best)
            best = took.count();
    }
    std::printf("%s %.3f\n", digest.c_str(), best);
    return 0;
}
