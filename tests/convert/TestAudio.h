// Test helpers for the converter: WAV sources written the way other tools write them,
// and MP3 targets decoded with libmpg123.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavLayout {
    std::uint16_t formatTag = 1;
    std::uint16_t bitsPerSample = 16;
    bool listChunkFirst = false;           // a LIST chunk before "fmt "
    std::uint32_t trailingChunkBytes = 0;  // an extra chunk after the audio, this long
    bool oddChunkBeforeData = false;       // a 5-byte chunk and its pad byte before "data"
};

// Writes interleaved 16-bit values as a WAV file (canonical 44-byte header by default).
void WriteWav(const std::string& path, std::uint32_t rate, int channels,
              const std::vector<std::int16_t>& values, const WavLayout& layout = {});
void WriteBytes(const std::string& path, const std::string& bytes);
// Writes sample bytes as they are behind a fmt chunk of the given format tag and width;
// `extensible` wraps the format in a WAVE_FORMAT_EXTENSIBLE chunk whose sub-format is
// formatTag. The data chunk declares declaredBytes (its real size when 0).
void WriteWavSamples(const std::string& path, std::uint32_t rate, int channels,
                     std::uint16_t formatTag, int bits, const std::string& samples,
                     bool extensible = false, std::uint32_t declaredBytes = 0);

// Interleaved sines: channel c gets frequency hz[c] (0 = silence) at the amplitude.
std::vector<std::int16_t> Sines(std::uint32_t rate, std::size_t frames,
                                const std::vector<double>& hz, double amplitude = 8000.0);

struct DecodedMp3 {
    bool ok = false;
    long rate = 0;
    int channels = 0;
    int bitRate = 0;                   // kbit/s of the first audio frame
    std::vector<std::int16_t> values;  // interleaved
    std::size_t Frames() const { return channels ? values.size() / channels : 0; }
};
DecodedMp3 DecodeMp3(const std::string& path);

// One channel of interleaved values.
std::vector<double> Channel(const std::vector<std::int16_t>& values, int channels, int channel);
// The best normalised correlation of a against b over shifts of b up to maxLag, taken
// over `length` values from the middle of a.
double BestCorrelation(const std::vector<double>& a, const std::vector<double>& b, int maxLag,
                       std::size_t length);
double Rms(const std::vector<double>& v);

// A fresh, empty folder under the system's temporary folder; removed by the caller.
std::string MakeTempFolder();
void RemoveFolder(const std::string& folder);
bool FileExists(const std::string& path);

// A millisecond clock that moves on one second per reading, so the engine reports
// progress at every chunk (the engine's clock argument).
std::uint32_t SteppingClock();

// Records every progress event: ConvertProgress::context must point at it.
struct EventLog {
    std::vector<std::int32_t> types;
    std::vector<double> fractions;
    std::vector<double> Running() const;  // fractions of the running events
};
std::int32_t LogEvent(std::int32_t type, double fraction, std::uint32_t elapsedMs, void* context,
                      void* context2);
