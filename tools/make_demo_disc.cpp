// make_demo_disc DIR: writes the demo disc image DIR/demo.cue + DIR/demo.bin and the
// table the tests compare against, DIR/demo.expected.
//
// The disc is an enhanced CD: six short synthesized pieces (different tunes and
// instruments, so a listener can tell them apart), then the 11400-frame gap that
// separates an audio session from a data session, then a Mode 1 data track. A BIN/CUE
// image has no sessions, so the gap is stored as silent frames in the .bin; they are
// written as a hole, so the file takes little room on disk.
//
// demo.expected has one line per track: track number, start address (the disc's
// logical block address, first track at 0), length in frames as the track list
// shows it, and 1 for the data track or 0 for audio. The last audio track's length is
// its own, without the gap; the data track's runs to the lead-out.
//
// The output is the same on every run: the only randomness is a fixed-seed generator.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSampleRate = 44100;
constexpr int kFrameBytes = 2352;
constexpr int kSamplesPerFrame = 588;
constexpr int kFramesPerSecond = 75;
// Lead-out 6750 + lead-in 4500 + the data track's pregap 150, as on a pressed disc.
constexpr std::uint32_t kSessionGapFrames = 11400;
constexpr std::uint32_t kDataTrackFrames = 300;  // 4 seconds, the shortest track a CD allows
constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------------
// Synthesis: a stereo float buffer that notes are mixed into.

struct Mix {
    std::vector<float> left, right;
    explicit Mix(std::size_t samples) : left(samples, 0.0f), right(samples, 0.0f) {}
    std::size_t size() const { return left.size(); }
    // Adds v at sample i, panned (-1 left .. +1 right) with constant power.
    void Add(std::size_t i, double v, double pan) {
        if (i >= size()) return;
        const double angle = (pan + 1.0) * kPi / 4.0;
        left[i] += static_cast<float>(v * std::cos(angle));
        right[i] += static_cast<float>(v * std::sin(angle));
    }
};

// A small deterministic noise source (32-bit LCG), -1..1.
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : state_(seed) {}
    double Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 8388608.0 - 1.0;
    }

  private:
    std::uint32_t state_;
};

double MidiToHz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// Attack, hold while the key is down, then an exponential release.
double KeyEnvelope(double t, double length, double attack, double release) {
    if (t < 0) return 0;
    const double rise = t < attack ? t / attack : 1.0;
    if (t <= length) return rise;
    return rise * std::exp(-(t - length) / release);
}

struct Note {
    double start;   // seconds
    double length;  // seconds the key is held
    double midi;    // pitch
    double level;   // 0..1
    double pan;     // -1..1
};

// An instrument renders one note into the mix.
using Instrument = std::function<void(Mix&, const Note&, Noise&)>;

// Partials with their own amplitudes and decay rates (a struck, ringing sound).
void RenderPartials(Mix& mix, const Note& n, const std::vector<double>& ratios,
                    const std::vector<double>& amps, double baseDecay, double decayStep,
                    double ringSeconds) {
    const double f = MidiToHz(n.midi);
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    const std::size_t count = static_cast<std::size_t>(ringSeconds * kSampleRate);
    for (std::size_t s = 0; s < count; ++s) {
        const double t = static_cast<double>(s) / kSampleRate;
        double v = 0;
        for (std::size_t p = 0; p < ratios.size(); ++p) {
            const double freq = f * ratios[p];
            if (freq > kSampleRate / 2.2) continue;
            v += amps[p] * std::exp(-t * (baseDecay + decayStep * static_cast<double>(p))) *
                 std::sin(2 * kPi * freq * t);
        }
        const double click = std::min(1.0, t / 0.003);  // no click at the strike
        mix.Add(first + s, n.level * click * v, n.pan);
    }
}

// Bells: inharmonic partials, long ring.
void Bell(Mix& mix, const Note& n, Noise&) {
    RenderPartials(mix, n, {1.0, 2.0, 2.76, 4.07, 5.40}, {1.0, 0.55, 0.45, 0.22, 0.12}, 1.1, 1.4,
                   2.8);
}

// Music box: a bright tine with a quick decay.
void MusicBox(Mix& mix, const Note& n, Noise&) {
    RenderPartials(mix, n, {1.0, 3.0, 5.93}, {1.0, 0.18, 0.07}, 2.6, 3.0, 1.6);
}

// Organ: steady harmonics like drawbars, slow attack, gentle tremolo.
void Organ(Mix& mix, const Note& n, Noise&) {
    static const double kHarmonics[] = {1, 2, 3, 4, 6, 8};
    static const double kLevels[] = {1.0, 0.65, 0.35, 0.25, 0.12, 0.08};
    const double f = MidiToHz(n.midi);
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    const double total = n.length + 0.4;
    for (std::size_t s = 0; s < static_cast<std::size_t>(total * kSampleRate); ++s) {
        const double t = static_cast<double>(s) / kSampleRate;
        double v = 0;
        for (int h = 0; h < 6; ++h) v += kLevels[h] * std::sin(2 * kPi * f * kHarmonics[h] * t);
        const double tremolo = 1.0 + 0.06 * std::sin(2 * kPi * 5.5 * t);
        mix.Add(first + s, n.level * 0.45 * tremolo * KeyEnvelope(t, n.length, 0.06, 0.08) * v,
                n.pan);
    }
}

// Plucked string: Karplus-Strong, a noise burst in a filtered delay line.
void Pluck(Mix& mix, const Note& n, Noise& noise) {
    const double f = MidiToHz(n.midi);
    const std::size_t period = std::max<std::size_t>(2, static_cast<std::size_t>(kSampleRate / f));
    std::vector<double> line(period);
    for (double& x : line) x = noise.Next();
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    const std::size_t count = static_cast<std::size_t>((n.length + 1.2) * kSampleRate);
    double previous = 0;
    for (std::size_t s = 0; s < count; ++s) {
        const std::size_t i = s % period;
        const double out = line[i];
        line[i] = 0.996 * 0.5 * (out + previous);
        previous = out;
        const double t = static_cast<double>(s) / kSampleRate;
        const double damp = t > n.length ? std::exp(-(t - n.length) / 0.15) : 1.0;
        mix.Add(first + s, n.level * 0.8 * damp * out, n.pan);
    }
}

// Flute: a nearly pure tone with delayed vibrato and a little breath.
void Flute(Mix& mix, const Note& n, Noise& noise) {
    const double f = MidiToHz(n.midi);
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    const double total = n.length + 0.3;
    double phase = 0, breath = 0;
    for (std::size_t s = 0; s < static_cast<std::size_t>(total * kSampleRate); ++s) {
        const double t = static_cast<double>(s) / kSampleRate;
        const double depth = t < 0.15 ? 0.0 : std::min(1.0, (t - 0.15) / 0.3) * 0.004;
        phase += 2 * kPi * f * (1.0 + depth * std::sin(2 * kPi * 5.0 * t)) / kSampleRate;
        breath = 0.97 * breath + 0.03 * noise.Next();
        const double v = std::sin(phase) + 0.22 * std::sin(2 * phase) + 0.07 * std::sin(3 * phase) +
                         0.6 * breath;
        mix.Add(first + s, n.level * 0.7 * KeyEnvelope(t, n.length, 0.07, 0.09) * v, n.pan);
    }
}

// Brass: many harmonics that brighten as the note speaks.
void Brass(Mix& mix, const Note& n, Noise&) {
    const double f = MidiToHz(n.midi);
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    const double total = n.length + 0.2;
    for (std::size_t s = 0; s < static_cast<std::size_t>(total * kSampleRate); ++s) {
        const double t = static_cast<double>(s) / kSampleRate;
        double v = 0;
        for (int h = 1; h <= 12; ++h) {
            if (f * h > kSampleRate / 2.2) break;
            const double bloom = 1.0 - std::exp(-t * 60.0 / h);
            v += bloom * std::sin(2 * kPi * f * h * t) / h;
        }
        mix.Add(first + s, n.level * 0.5 * KeyEnvelope(t, n.length, 0.03, 0.06) * v, n.pan);
    }
}

// Snare-like drum: filtered noise with a fast decay.
void Drum(Mix& mix, const Note& n, Noise& noise) {
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    double low = 0;
    for (std::size_t s = 0; s < static_cast<std::size_t>(0.25 * kSampleRate); ++s) {
        const double t = static_cast<double>(s) / kSampleRate;
        low = 0.6 * low + 0.4 * noise.Next();
        mix.Add(first + s, n.level * std::exp(-t / 0.05) * low, n.pan);
    }
}

// Soft bass: a sine with its octave.
void Bass(Mix& mix, const Note& n, Noise&) {
    const double f = MidiToHz(n.midi);
    const std::size_t first = static_cast<std::size_t>(n.start * kSampleRate);
    const double total = n.length + 0.2;
    for (std::size_t s = 0; s < static_cast<std::size_t>(total * kSampleRate); ++s) {
        const double t = static_cast<double>(s) / kSampleRate;
        const double v = std::sin(2 * kPi * f * t) + 0.3 * std::sin(4 * kPi * f * t);
        mix.Add(first + s, n.level * 0.6 * KeyEnvelope(t, n.length * 0.9, 0.02, 0.1) * v, n.pan);
    }
}

// ---------------------------------------------------------------------------------
// Scores: "C4:1 E4:0.5 R:1 ..." - a pitch (or R for a rest) and its length in beats.

double ParsePitch(const std::string& name) {
    static const int kSteps[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    int semitone = kSteps[name[0] - 'A'];
    std::size_t i = 1;
    if (i < name.size() && name[i] == '#') ++semitone, ++i;
    if (i < name.size() && name[i] == 'b') --semitone, ++i;
    const int octave = std::stoi(name.substr(i));
    return 12.0 * (octave + 1) + semitone;
}

// Adds the score's notes from `startBeat`, repeating it until `endBeat`; returns
// the number of beats one pass takes.
double Play(std::vector<Note>& notes, const std::string& score, double bpm, double startBeat,
            double endBeat, double level, double pan, double legato = 0.9) {
    std::istringstream in(score);
    std::vector<std::pair<std::string, double>> items;
    std::string token;
    double pass = 0;
    while (in >> token) {
        const std::size_t colon = token.find(':');
        const double beats = std::stod(token.substr(colon + 1));
        items.emplace_back(token.substr(0, colon), beats);
        pass += beats;
    }
    const double secondsPerBeat = 60.0 / bpm;
    for (double beat = startBeat; beat < endBeat; beat += pass) {
        double b = beat;
        for (const auto& [pitch, beats] : items) {
            if (b >= endBeat) break;
            if (pitch != "R") {
                // A chord is written "C4+E4+G4".
                std::istringstream chord(pitch);
                std::string one;
                while (std::getline(chord, one, '+'))
                    notes.push_back(Note{b * secondsPerBeat, beats * secondsPerBeat * legato,
                                         ParsePitch(one), level, pan});
            }
            b += beats;
        }
    }
    return pass;
}

struct Piece {
    const char* title;
    double seconds;  // the track's length; the music fades out at its end
    std::function<void(Mix&, Noise&)> compose;
};

void Render(Mix& mix, Noise& noise, const std::vector<Note>& notes, const Instrument& instrument) {
    for (const Note& n : notes) instrument(mix, n, noise);
}

std::vector<Piece> Pieces() {
    return {
        {"Bells at dawn", 14.2,
         [](Mix& mix, Noise& noise) {
             const double bpm = 96;
             std::vector<Note> melody, low;
             Play(melody,
                  "G5:1 E5:1 G5:1 C6:1 A5:1.5 G5:0.5 E5:2 D5:1 E5:1 G5:1 A5:1 G5:3 R:1 "
                  "E5:1 D5:1 C5:1 D5:1 E5:1.5 G5:0.5 A5:2 G5:1 E5:1 D5:1 E5:1 C5:3 R:1",
                  bpm, 0, 22, 0.32, 0.25);
             Play(low, "C4:4 G3:4 A3:4 G3:4", bpm, 0, 22, 0.22, -0.35);
             Render(mix, noise, melody, Bell);
             Render(mix, noise, low, Bell);
         }},
        {"Chorale for organ", 21.5,
         [](Mix& mix, Noise& noise) {
             const double bpm = 66;
             std::vector<Note> chords, tune;
             Play(chords,
                  "G3+B3+D4:2 E3+G3+B3:2 C3+E3+G3:2 D3+F#3+A3:2 "
                  "G3+B3+D4:2 C3+E3+G3:2 D3+F#3+A3:2 G3+B3+D4:2",
                  bpm, 0, 22, 0.2, -0.2, 0.98);
             Play(tune,
                  "D5:1 B4:1 B4:1 G4:1 C5:1 E5:1 D5:1 A4:1 B4:1 D5:1 E5:1 C5:1 A4:1 F#4:1 G4:2",
                  bpm, 0, 22, 0.28, 0.2, 0.95);
             Render(mix, noise, chords, Organ);
             Render(mix, noise, tune, Organ);
         }},
        {"Plucked arpeggios", 12.8,
         [](Mix& mix, Noise& noise) {
             const double bpm = 104;
             std::vector<Note> arps, bass;
             Play(arps,
                  "A3:0.25 C4:0.25 E4:0.25 A4:0.25 C5:0.25 A4:0.25 E4:0.25 C4:0.25 "
                  "F3:0.25 A3:0.25 C4:0.25 F4:0.25 A4:0.25 F4:0.25 C4:0.25 A3:0.25 "
                  "C4:0.25 E4:0.25 G4:0.25 C5:0.25 E5:0.25 C5:0.25 G4:0.25 E4:0.25 "
                  "G3:0.25 B3:0.25 D4:0.25 G4:0.25 B4:0.25 G4:0.25 D4:0.25 B3:0.25",
                  bpm, 0, 22, 0.5, 0.3, 1.0);
             Play(bass, "A2:2 F2:2 C3:2 G2:2", bpm, 0, 22, 0.35, -0.3);
             Render(mix, noise, arps, Pluck);
             Render(mix, noise, bass, Bass);
         }},
        {"Flute waltz", 18.4,
         [](Mix& mix, Noise& noise) {
             const double bpm = 150;
             std::vector<Note> tune, bass, chords;
             Play(tune,
                  "C5:2 A4:1 F5:2 E5:1 D5:2 C5:1 Bb4:3 A4:2 C5:1 F5:2 G5:1 A5:3 G5:3 "
                  "F5:2 D5:1 E5:2 C5:1 D5:2 Bb4:1 A4:3 G4:2 A4:1 Bb4:2 E4:1 F4:3 R:3",
                  bpm, 0, 46, 0.35, 0.15);
             Play(bass, "F2:3 F2:3 Bb2:3 C3:3 F2:3 D3:3 C3:3 C3:3", bpm, 0, 46, 0.3, -0.25, 0.5);
             Play(chords,
                  "R:1 A3+C4:1 A3+C4:1 R:1 A3+C4:1 A3+C4:1 R:1 Bb3+D4:1 Bb3+D4:1 R:1 "
                  "Bb3+E4:1 Bb3+E4:1",
                  bpm, 0, 46, 0.12, -0.1, 0.6);
             Render(mix, noise, tune, Flute);
             Render(mix, noise, bass, Bass);
             Render(mix, noise, chords, Pluck);
         }},
        {"Little brass march", 16.6,
         [](Mix& mix, Noise& noise) {
             const double bpm = 112;
             std::vector<Note> tune, low, drums;
             Play(
                 tune,
                 "Bb4:0.5 F4:0.5 Bb4:0.5 D5:0.5 F5:1 D5:1 Eb5:0.5 C5:0.5 A4:0.5 C5:0.5 "
                 "Bb4:2 D5:0.5 Bb4:0.5 D5:0.5 F5:0.5 G5:1 Eb5:1 F5:0.5 Eb5:0.5 D5:0.5 C5:0.5 Bb4:2",
                 bpm, 0, 31, 0.3, 0.2, 0.85);
             Play(low, "Bb2:1 F3:1 Bb2:1 F3:1 F2:1 C3:1 Bb2:1 F3:1", bpm, 0, 31, 0.3, -0.2, 0.5);
             Play(drums, "A4:0.5 A4:0.25 A4:0.25 A4:0.5 A4:0.5", bpm, 0, 31, 0.22, 0.0);
             Render(mix, noise, tune, Brass);
             Render(mix, noise, low, Brass);
             Render(mix, noise, drums, Drum);
         }},
        {"Music box lullaby", 11.3,
         [](Mix& mix, Noise& noise) {
             const double bpm = 84;
             std::vector<Note> tune, pad;
             Play(tune, "F#5:1 A5:1 D6:1.5 C#6:0.5 B5:1 A5:1 F#5:2 G5:1 B5:1 A5:1 F#5:1 E5:3 R:1",
                  bpm, 0, 16, 0.3, 0.1);
             Play(pad, "D4+F#4+A4:4 G3+B3+D4:2 A3+C#4+E4:2", bpm, 0, 16, 0.1, -0.15, 0.98);
             Render(mix, noise, tune, MusicBox);
             Render(mix, noise, pad, Organ);
         }},
    };
}

// The piece as CD audio: exactly `frames` frames of 16-bit little-endian stereo,
// normalised, with a short fade-in and a fade-out at the end.
std::vector<unsigned char> RenderPiece(const Piece& piece, std::uint32_t frames,
                                       std::uint32_t seed) {
    const std::size_t samples = std::size_t{frames} * kSamplesPerFrame;
    Mix mix(samples + kSampleRate * 3);  // notes may ring past the end; cut below
    Noise noise(seed);
    piece.compose(mix, noise);

    float peak = 1e-6f;
    for (std::size_t i = 0; i < samples; ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double gain = 0.7 / peak;
    const double fadeIn = 0.01 * kSampleRate, fadeOut = 1.5 * kSampleRate;

    std::vector<unsigned char> audio(samples * 4);
    for (std::size_t i = 0; i < samples; ++i) {
        double g = gain;
        if (i < fadeIn) g *= static_cast<double>(i) / fadeIn;
        const double left = static_cast<double>(samples - i);
        if (left < fadeOut) g *= left / fadeOut;
        const float channels[2] = {mix.left[i], mix.right[i]};
        for (int c = 0; c < 2; ++c) {
            const long v = std::lround(std::clamp(channels[c] * g, -1.0, 1.0) * 32767.0);
            const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
            audio[i * 4 + c * 2] = static_cast<unsigned char>(u & 0xFF);
            audio[i * 4 + c * 2 + 1] = static_cast<unsigned char>(u >> 8);
        }
    }
    return audio;
}

// ---------------------------------------------------------------------------------
// Mode 1 data sectors: sync, header, 2048 bytes of data, EDC and the P and Q parity
// (the Reed-Solomon product code of a CD-ROM sector).

class SectorCoder {
  public:
    SectorCoder() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t j = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
            forward_[i] = static_cast<std::uint8_t>(j);
            backward_[i ^ j] = static_cast<std::uint8_t>(i);
            std::uint32_t edc = i;
            for (int k = 0; k < 8; ++k) edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0);
            edc_[i] = edc;
        }
    }

    // A complete 2352-byte Mode 1 sector at the disc address `lsn`.
    void Encode(std::uint32_t lsn, const unsigned char* userData, unsigned char* sector) const {
        std::memset(sector, 0, kFrameBytes);
        std::memset(sector + 1, 0xFF, 10);  // sync: 00 FF x 10 00
        const std::uint32_t address = lsn + 150;
        const auto bcd = [](std::uint32_t v) {
            return static_cast<unsigned char>((v / 10) * 16 + v % 10);
        };
        sector[12] = bcd(address / (60 * 75));
        sector[13] = bcd(address / 75 % 60);
        sector[14] = bcd(address % 75);
        sector[15] = 1;  // mode 1
        std::memcpy(sector + 16, userData, 2048);
        std::uint32_t edc = 0;
        for (int i = 0; i < 0x810; ++i) edc = (edc >> 8) ^ edc_[(edc ^ sector[i]) & 0xFF];
        for (int i = 0; i < 4; ++i) sector[0x810 + i] = static_cast<unsigned char>(edc >> (8 * i));
        Parity(sector + 12, 86, 24, 2, 86, sector + 0x81C);   // P
        Parity(sector + 12, 52, 43, 86, 88, sector + 0x8C8);  // Q
    }

  private:
    void Parity(const unsigned char* src, int majorCount, int minorCount, int majorMult,
                int minorInc, unsigned char* dest) const {
        const int size = majorCount * minorCount;
        for (int major = 0; major < majorCount; ++major) {
            int index = (major >> 1) * majorMult + (major & 1);
            std::uint8_t a = 0, b = 0;
            for (int minor = 0; minor < minorCount; ++minor) {
                const std::uint8_t v = src[index];
                index += minorInc;
                if (index >= size) index -= size;
                a ^= v;
                b ^= v;
                a = forward_[a];
            }
            a = backward_[forward_[a] ^ b];
            dest[major] = a;
            dest[major + majorCount] = a ^ b;
        }
    }

    std::array<std::uint8_t, 256> forward_{}, backward_{};
    std::array<std::uint32_t, 256> edc_{};
};

std::string Msf(std::uint32_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", frames / (60 * kFramesPerSecond),
                  frames / kFramesPerSecond % 60, frames % kFramesPerSecond);
    return text;
}

bool Fail(const std::string& what) {
    std::cerr << "make_demo_disc: " << what << "\n";
    return false;
}

bool MakeDisc(const std::string& dir) {
    const std::vector<Piece> pieces = Pieces();
    const std::string binPath = dir + "/demo.bin";
    std::ofstream bin(binPath, std::ios::binary | std::ios::trunc);
    if (!bin) return Fail("cannot write " + binPath);

    struct Track {
        std::uint32_t start, length;
        bool data;
        std::string title;
    };
    std::vector<Track> tracks;
    std::uint32_t position = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto frames =
            static_cast<std::uint32_t>(std::lround(pieces[i].seconds * kFramesPerSecond));
        const std::vector<unsigned char> audio =
            RenderPiece(pieces[i], frames, 0x5EED0000u + static_cast<std::uint32_t>(i));
        bin.write(reinterpret_cast<const char*>(audio.data()),
                  static_cast<std::streamsize>(audio.size()));
        tracks.push_back(Track{position, frames, false, pieces[i].title});
        position += frames;
    }

    // The gap before the data session: silent frames, left as a hole in the file.
    position += kSessionGapFrames;
    bin.seekp(std::streamoff{position} * kFrameBytes);

    SectorCoder coder;
    std::vector<unsigned char> userData(2048), sector(kFrameBytes);
    const std::string text =
        "Trackmill demo disc: the data track of an enhanced CD. It is not audio and is "
        "never ripped or played.\n";
    for (std::size_t i = 0; i < userData.size(); ++i)
        userData[i] = static_cast<unsigned char>(text[i % text.size()]);
    for (std::uint32_t f = 0; f < kDataTrackFrames; ++f) {
        coder.Encode(position + f, userData.data(), sector.data());
        bin.write(reinterpret_cast<const char*>(sector.data()), kFrameBytes);
    }
    tracks.push_back(Track{position, kDataTrackFrames, true, "Data"});
    bin.close();
    if (!bin) return Fail("writing " + binPath + " failed");

    std::ofstream cue(dir + "/demo.cue", std::ios::trunc);
    cue << "REM Trackmill demo disc (generated by make_demo_disc)\n";
    cue << "FILE \"demo.bin\" BINARY\n";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        char header[64];
        std::snprintf(header, sizeof header, "  TRACK %02zu %s\n", i + 1,
                      tracks[i].data ? "MODE1/2352" : "AUDIO");
        cue << header << "    REM " << tracks[i].title << "\n"
            << "    INDEX 01 " << Msf(tracks[i].start) << "\n";
    }
    cue.close();
    if (!cue) return Fail("writing " + dir + "/demo.cue failed");

    std::ofstream expected(dir + "/demo.expected", std::ios::trunc);
    for (std::size_t i = 0; i < tracks.size(); ++i)
        expected << i + 1 << ' ' << tracks[i].start << ' ' << tracks[i].length << ' '
                 << (tracks[i].data ? 1 : 0) << "\n";
    expected.close();
    if (!expected) return Fail("writing " + dir + "/demo.expected failed");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_demo_disc OUTPUT_FOLDER\n";
        return 2;
    }
    return MakeDisc(argv[1]) ? 0 : 1;
}
