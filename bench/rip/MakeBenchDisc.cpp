// Writes a BIN/CUE disc image of synthesized CD audio for the rip benchmark:
//   rip_bench_disc OUT.cue MINUTES
// The BIN file is written beside the CUE file with the same base name. Tracks of
// varied lengths add up to at least MINUTES minutes; the audio is a mix of
// drifting tones and pseudo-random noise, so an encoder has real work to do.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.cue MINUTES\n", argv[0]);
        return 2;
    }
    const std::string cuePath = argv[1];
    const double minutes = std::atof(argv[2]);
    if (cuePath.size() < 5 || minutes <= 0 || minutes > 80) {
        std::fprintf(stderr, "rip_bench_disc: a .cue path and 0 < MINUTES <= 80 are needed\n");
        return 2;
    }
    const std::string binPath = cuePath.substr(0, cuePath.size() - 4) + ".bin";
    const auto slash = binPath.find_last_of('/');
    const std::string binName = slash == std::string::npos ? binPath : binPath.substr(slash + 1);

    // Track lengths in seconds, cycled until the total is reached.
    const int pattern[] = {150, 190, 105, 245, 170};
    std::vector<std::uint32_t> frames;
    std::uint32_t total = 0;
    for (int i = 0; total < minutes * 60 * 75; ++i) {
        frames.push_back(static_cast<std::uint32_t>(pattern[i % 5]) * 75 + 31u * i);
        total += frames.back();
    }

    FILE* bin = std::fopen(binPath.c_str(), "wb");
    FILE* cue = std::fopen(cuePath.c_str(), "w");
    if (!bin || !cue) {
        std::fprintf(stderr, "rip_bench_disc: cannot write %s\n", cuePath.c_str());
        return 1;
    }
    std::fprintf(cue, "FILE \"%s\" BINARY\n", binName.c_str());
    std::uint32_t lba = 0, state = 0x12345678u;
    std::vector<std::int16_t> frame(588 * 2);
    for (std::size_t t = 0; t < frames.size(); ++t) {
        std::fprintf(cue, "  TRACK %02zu AUDIO\n    INDEX 01 %02u:%02u:%02u\n", t + 1, lba / 4500,
                     lba / 75 % 60, lba % 75);
        const double base = 110.0 * static_cast<double>(t + 2);
        for (std::uint32_t f = 0; f < frames[t]; ++f, ++lba) {
            for (int i = 0; i < 588; ++i) {
                const double s = (static_cast<double>(lba) * 588 + i) / 44100.0;
                state ^= state << 13, state ^= state >> 17, state ^= state << 5;
                const double noise = static_cast<double>(state % 4001) - 2000.0;
                const double tone =
                    7000 * std::sin(2 * M_PI * base * s * (1 + 0.01 * std::sin(s))) +
                    3000 * std::sin(2 * M_PI * base * 2.5 * s);
                frame[2 * i] = static_cast<std::int16_t>(tone + noise);
                frame[2 * i + 1] = static_cast<std::int16_t>(0.7 * tone - noise * 0.5);
            }
            if (std::fwrite(frame.data(), 2, frame.size(), bin) != frame.size()) {
                std::fprintf(stderr, "rip_bench_disc: write failed\n");
                return 1;
            }
        }
    }
    std::fclose(cue);
    if (std::fclose(bin) != 0) return 1;
    std::printf("%s: %zu tracks, %u frames (%.1f minutes)\n", cuePath.c_str(), frames.size(), total,
                total / 4500.0);
    return 0;
}
