#include "TestAudio.h"

#include <mpg123.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

void Put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

}  // namespace

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void WriteWav(const std::string& path, std::uint32_t rate, int channels,
              const std::vector<std::int16_t>& values, const WavLayout& layout) {
    std::string body;
    if (layout.listChunkFirst) {
        std::string info = "INFOISFT";
        Put32(info, 14);
        info += "test encoder";
        info.append(2, '\0');
        body += "LIST";
        Put32(body, static_cast<std::uint32_t>(info.size()));
        body += info;
    }
    const std::uint32_t blockAlign = channels * layout.bitsPerSample / 8;
    body += "fmt ";
    Put32(body, 16);
    Put16(body, layout.formatTag);
    Put16(body, channels);
    Put32(body, rate);
    Put32(body, rate * blockAlign);
    Put16(body, blockAlign);
    Put16(body, layout.bitsPerSample);
    if (layout.oddChunkBeforeData) {
        body += "note";
        Put32(body, 5);
        body += std::string("odd!\0", 5) + '\x55';  // the pad byte is not counted
    }
    body += "data";
    Put32(body, static_cast<std::uint32_t>(values.size() * 2));
    for (std::int16_t v : values) Put16(body, static_cast<std::uint16_t>(v));
    if (layout.trailingChunkBytes) {
        body += "junk";
        Put32(body, layout.trailingChunkBytes);
        body.append(layout.trailingChunkBytes, '\x7f');
    }
    std::string file = "RIFF";
    Put32(file, static_cast<std::uint32_t>(body.size() + 4));
    file += "WAVE";
    WriteBytes(path, file + body);
}

void WriteWavSamples(const std::string& path, std::uint32_t rate, int channels,
                     std::uint16_t formatTag, int bits, const std::string& samples, bool extensible,
                     std::uint32_t declaredBytes) {
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(channels * bits / 8);
    std::string body = "fmt ";
    Put32(body, extensible ? 40 : 16);
    Put16(body, extensible ? 0xFFFE : formatTag);
    Put16(body, static_cast<std::uint32_t>(channels));
    Put32(body, rate);
    Put32(body, rate * blockAlign);
    Put16(body, blockAlign);
    Put16(body, static_cast<std::uint32_t>(bits));
    if (extensible) {
        Put16(body, 22);                                // extension size
        Put16(body, static_cast<std::uint32_t>(bits));  // valid bits
        Put32(body, channels == 1 ? 0x4 : 0x3);         // speaker positions
        Put16(body, formatTag);                         // sub-format identifier
        body += std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
    }
    body += "data";
    Put32(body, declaredBytes ? declaredBytes : static_cast<std::uint32_t>(samples.size()));
    body += samples;
    std::string file = "RIFF";
    Put32(file, static_cast<std::uint32_t>(body.size() + 4));
    file += "WAVE";
    WriteBytes(path, file + body);
}

std::vector<std::int16_t> Sines(std::uint32_t rate, std::size_t frames,
                                const std::vector<double>& hz, double amplitude) {
    const std::size_t channels = hz.size();
    std::vector<std::int16_t> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t c = 0; c < channels; ++c) {
            out[i * channels + c] = static_cast<std::int16_t>(
                amplitude * std::sin(2.0 * M_PI * hz[c] * static_cast<double>(i) / rate));
        }
    }
    return out;
}

DecodedMp3 DecodeMp3(const std::string& path) {
    DecodedMp3 out;
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return out;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i) {
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open(mh, path.c_str()) != MPG123_OK) {
        mpg123_delete(mh);
        return out;
    }
    int encoding = 0;
    if (mpg123_getformat(mh, &out.rate, &out.channels, &encoding) != MPG123_OK) {
        mpg123_close(mh);
        mpg123_delete(mh);
        return out;
    }
    mpg123_frameinfo2 info{};
    if (mpg123_info2(mh, &info) == MPG123_OK) out.bitRate = info.bitrate;
    unsigned char buffer[16384];
    for (;;) {
        std::size_t done = 0;
        err = mpg123_read(mh, buffer, sizeof buffer, &done);
        const auto* v = reinterpret_cast<const std::int16_t*>(buffer);
        out.values.insert(out.values.end(), v, v + done / 2);
        if (err == MPG123_DONE) {
            out.ok = true;
            break;
        }
        if (err != MPG123_OK && err != MPG123_NEW_FORMAT) break;
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return out;
}

std::vector<double> Channel(const std::vector<std::int16_t>& values, int channels, int channel) {
    std::vector<double> out;
    out.reserve(values.size() / channels);
    for (std::size_t i = channel; i < values.size(); i += channels) out.push_back(values[i]);
    return out;
}

double BestCorrelation(const std::vector<double>& a, const std::vector<double>& b, int maxLag,
                       std::size_t length) {
    if (a.size() < length + 2 * maxLag || b.size() < length + 2 * maxLag) return 0.0;
    const std::size_t start = (a.size() - length) / 2;
    double best = -1.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        const std::size_t bStart = static_cast<std::size_t>(static_cast<long>(start) + lag);
        if (bStart + length > b.size()) continue;
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const double x = a[start + i], y = b[bStart + i];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

double Rms(const std::vector<double>& v) {
    if (v.empty()) return 0.0;
    double sum = 0;
    for (double x : v) sum += x * x;
    return std::sqrt(sum / v.size());
}

std::string MakeTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tm_convert_XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

void RemoveFolder(const std::string& folder) {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::uint32_t SteppingClock() {
    static std::atomic<std::uint32_t> ticks{0};
    return ticks += 1000;
}

std::vector<double> EventLog::Running() const {
    std::vector<double> out;
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i] == 0) out.push_back(fractions[i]);
    }
    return out;
}

std::int32_t LogEvent(std::int32_t type, double fraction, std::uint32_t, void* context, void*) {
    auto* log = static_cast<EventLog*>(context);
    log->types.push_back(type);
    log->fractions.push_back(fraction);
    return 1;
}
