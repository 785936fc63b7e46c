#include "encode/Mp3Encoder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "encode/EncoderBinding.h"

namespace encode {

namespace {

// The record's channel mode: stereo, or mono for any single-channel choice.
int ModeFor(core::Channels channels) {
    return channels == core::Channels::Stereo ? kBeModeStereo : kBeModeMono;
}

// The LAME form of the configuration record: the rip's fixed settings with the
// track's bit rate and channel mode.
void FillLameConfig(BeConfig& c, const EncoderSettings& s) {
    std::memset(&c, 0, sizeof c);
    c.kind = kBeConfigLame;
    BeConfigLame& l = c.format.lame;
    l.structVersion = 1;
    l.structSize = sizeof(BeConfig);
    l.sampleRate = 44100;
    l.reSampleRate = 0;
    l.mode = ModeFor(s.channels);
    l.bitrate = s.mp3Bitrate;
    l.maxBitrate = 320;
    l.preset = kLamePreset;
    l.mpegVersion = kBeMpeg1;
    l.writeVbrHeader = kVbrHeaderEnabled;
    l.enableVbr = kVbrEnabled;
    l.vbrQuality = kVbrQuality;
}

// The plain MP3 form: for BladeEnc, and for a LAME module too old for its own form.
void FillBasicConfig(BeConfig& c, const EncoderSettings& s) {
    std::memset(&c, 0, sizeof c);
    c.kind = kBeConfigMp3;
    c.format.mp3.sampleRate = 44100;
    c.format.mp3.mode = static_cast<std::uint8_t>(ModeFor(s.channels));
    c.format.mp3.bitrate = static_cast<std::uint16_t>(s.mp3Bitrate);
}

class Mp3Encoder : public Encoder {
  public:
    // Snapshot of the binding at the track's start.
    explicit Mp3Encoder(const EncoderSettings& settings)
        : settings_(settings), type_(EncoderType()), e_(BoundEncoder()) {
        lameForm_ = type_ == kEncoderLame && !LameTooOld();
    }

    Start Begin(FILE*& file, const TrackFacts& facts) override {
        file_ = &file;
        path_ = facts.path;
        BeConfig config;
        if (lameForm_)
            FillLameConfig(config, settings_);
        else
            FillBasicConfig(config, settings_);
        std::uint32_t samples = 0, outSize = 0;
        if (e_.initStream(&config, &samples, &outSize, &stream_) != kBeOk || samples == 0) {
            if (stream_) e_.closeStream(stream_);
            stream_ = 0;
            return Start::EncoderFailed;
        }
        // samples counts the encoder's 16-bit values per chunk over its own channels;
        // the ring holds stereo pairs, so a mono chunk takes twice its size from it.
        mono_ = ModeFor(settings_.channels) == kBeModeMono;
        chunkBytes_ = samples * (mono_ ? 4 : 2);
        monoPcm_.resize(mono_ ? samples : 0);
        out_.resize(std::max<std::uint32_t>(outSize, 1));
        return Start::Ok;
    }

    std::size_t ChunkBytes() const override { return chunkBytes_; }
    bool WholeChunks() const override { return true; }
    bool ValidWhenEmpty() const override { return false; }

    bool Write(const unsigned char* pcm, std::size_t bytes) override {
        std::uint32_t length = 0;
        std::uint32_t values = static_cast<std::uint32_t>(bytes / 2);
        const std::int16_t* input = reinterpret_cast<const std::int16_t*>(pcm);
        if (mono_) {
            values = static_cast<std::uint32_t>(bytes / kPairBytes);
            core::DownMix(input, values, settings_.channels, monoPcm_.data());
            input = monoPcm_.data();
        }
        encoded_ = true;
        const BeErr err = e_.encodeChunk(stream_, values, input, out_.data(), &length);
        return err == kBeOk && length <= out_.size() &&
               std::fwrite(out_.data(), 1, length, *file_) == length;
    }

    // The stream's tail, then the info tag: the module rewrites the first frame of the
    // closed file, which is opened again for the writer to close. A stream that
    // encoded nothing gets no tail, but it is still released.
    bool Finish() override {
        // The module keeps one info tag, of the stream finished last, until
        // beWriteVBRHeader writes it (and closing an unfinished stream forgets it):
        // with encoders working at once, each finish and release takes its turn.
        std::lock_guard<std::recursive_mutex> turn(TagTurn());
        bool ok = true;
        if (encoded_) {
            std::uint32_t length = 0;
            const BeErr err = e_.deinitStream(stream_, out_.data(), &length);
            if (err != kBeOk || length > out_.size()) ok = false;
            if (err == kBeOk && length != 0 && length <= out_.size())
                ok = std::fwrite(out_.data(), 1, length, *file_) == length && ok;
        }
        Release();
        if (!ok) return false;  // the file is removed: it gets no info tag
        if (lameForm_ && kVbrEnabled && kVbrHeaderEnabled && e_.writeVbrHeader) {
            errno = 0;
            const int closed = std::fclose(*file_);
            *file_ = nullptr;
            if (closed != 0) return false;
            e_.writeVbrHeader(path_.c_str());
            *file_ = std::fopen(path_.c_str(), "ab");
        }
        return true;
    }

    void Abort() override { Release(); }

    ~Mp3Encoder() override { Release(); }

  private:
    static std::recursive_mutex& TagTurn() {
        static std::recursive_mutex turn;
        return turn;
    }
    void Release() {
        std::lock_guard<std::recursive_mutex> turn(TagTurn());
        if (stream_) e_.closeStream(stream_);
        stream_ = 0;
    }

    const EncoderSettings settings_;
    const int type_;
    const EncoderEntries e_;
    bool lameForm_ = false;
    FILE** file_ = nullptr;
    std::string path_;
    BeStream stream_ = 0;
    bool mono_ = false;
    std::size_t chunkBytes_ = 0;
    std::vector<std::int16_t> monoPcm_;
    std::vector<std::uint8_t> out_;
    bool encoded_ = false;
};

}  // namespace

bool Mp3Available() {
    return EncoderType() != kEncoderNone;
}

std::unique_ptr<Encoder> CreateMp3Encoder(const EncoderSettings& settings) {
    const EncoderEntries entries = BoundEncoder();
    if (EncoderType() == kEncoderNone || !entries.initStream) return nullptr;
    return std::make_unique<Mp3Encoder>(settings);
}

}  // namespace encode
