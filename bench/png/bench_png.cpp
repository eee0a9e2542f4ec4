// The PNG work of the icon core, timed in one process: decoding (DecodePng), checking a
// stored image for the thumbnail (PngDecodes) and encoding the decoded pixels both ways
// (EncodePng, Small for the exports and Stored for thumbnails), each file's fastest of 15
// rounds: other work on the machine only ever adds to a round. Run: build/bench/png/bench_png [FILE.png...]; with no file, the 256 px PNG
// images of `vistrel --extract --format png` over tests/data, made in a temporary folder.
// Built as well against another tree's icon core, it compares two codecs side by side.
#include "icon/png.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kBudget = 2048 * 2048;

std::vector<std::uint8_t> Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Microseconds a call of work takes: the fastest of 15 rounds of enough calls for 20 ms.
template <typename Work>
double Time(Work work)
{
    using Clock = std::chrono::steady_clock;
    int calls = 1;
    for (;;) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i)
            work();
        if (Clock::now() - start > std::chrono::milliseconds(20) || calls >= 1 << 20)
            break;
        calls *= 2;
    }
    std::vector<double> rounds;
    for (int round = 0; round < 15; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i)
            work();
        rounds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls);
    }
    return *std::min_element(rounds.begin(), rounds.end());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files(argv + 1, argv + argc);
    std::string folder;
    if (files.empty()) {
        char name[] = "/tmp/bench_png.XXXXXX";
        if (!mkdtemp(name))
            return 1;
        folder = name;
        const std::string command = "\"" VISTREL_PROGRAM "\" --extract --format png --recursive \"" VISTREL_TEST_DATA
                                    "\" \"" + folder + "/out\" >/dev/null";
        if (std::system(command.c_str()) != 0)
            return 1;
        for (int i = 1;; ++i) {
            char path[64];
            std::snprintf(path, sizeof path, "/out/Icon%05d.png", i);
            const std::vector<std::uint8_t> data = Read(folder + path);
            if (data.empty())
                break;
            if (const auto size = ReadPngSize(data); size && size->Width == 256)
                files.push_back(folder + path);
        }
    }
    double total[4] = {};
    std::printf("%-40s %10s %10s %10s %10s   (us a call)\n", "file", "decode", "check", "encode", "stored");
    for (const std::string& file : files) {
        const std::vector<std::uint8_t> data = Read(file);
        const auto picture = DecodePng(data, kBudget);
        if (!picture) {
            std::fprintf(stderr, "%s: does not decode\n", file.c_str());
            return 1;
        }
        const double t[4] = {
            Time([&] { (void)DecodePng(data, kBudget); }),
            Time([&] { (void)PngDecodes(data, kBudget); }),
            Time([&] { (void)EncodePng(*picture, PngCompression::Small); }),
            Time([&] { (void)EncodePng(*picture, PngCompression::Stored); }),
        };
        std::printf("%-40s %10.1f %10.1f %10.1f %10.1f   %zu -> %zu bytes\n", file.substr(file.rfind('/') + 1).c_str(), t[0],
                    t[1], t[2], t[3], data.size(), EncodePng(*picture).size());
        for (int i = 0; i < 4; ++i)
            total[i] += t[i];
    }
    std::printf("%-40s %10.1f %10.1f %10.1f %10.1f\n", "all", total[0], total[1], total[2], total[3]);
    return folder.empty() || std::system(("rm -r \"" + folder + "\"").c_str()) == 0 ? 0 : 1;
}
