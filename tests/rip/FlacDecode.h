// FLAC files written by a rip, decoded with libFLAC to check what they hold.
#pragma once

#include <FLAC/stream_decoder.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <string>
#include <vector>

namespace riptest {

// A FLAC file decoded with libFLAC: its audio as little-endian 16-bit stereo pairs and
// the MD5 its STREAMINFO gives for them.
struct DecodedFlac {
    bool ok = false;
    std::vector<unsigned char> pcm;
    std::vector<unsigned char> md5;
};

inline DecodedFlac DecodeFlac(const std::string& path) {
    DecodedFlac d;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                    const FLAC__int32* const buffer[], void* out) {
        auto& pcm = static_cast<DecodedFlac*>(out)->pcm;
        for (unsigned i = 0; i < frame->header.blocksize; ++i)
            for (unsigned c = 0; c < 2; ++c) {
                pcm.push_back(static_cast<unsigned char>(buffer[c][i] & 0xFF));
                pcm.push_back(static_cast<unsigned char>((buffer[c][i] >> 8) & 0xFF));
            }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    auto metadata = [](const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* out) {
        if (m->type == FLAC__METADATA_TYPE_STREAMINFO)
            static_cast<DecodedFlac*>(out)->md5.assign(m->data.stream_info.md5sum,
                                                       m->data.stream_info.md5sum + 16);
    };
    auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* out) {
        static_cast<DecodedFlac*>(out)->md5.clear();
    };
    d.ok = FLAC__stream_decoder_init_file(decoder, path.c_str(), write, metadata, error, &d) ==
               FLAC__STREAM_DECODER_INIT_STATUS_OK &&
           FLAC__stream_decoder_process_until_end_of_stream(decoder) && d.md5.size() == 16;
    FLAC__stream_decoder_delete(decoder);
    return d;
}

// The MD5 of some bytes, as STREAMINFO gives it for the audio.
inline std::vector<unsigned char> Md5(const std::vector<unsigned char>& bytes) {
    const QByteArray sum =
        QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                 QCryptographicHash::Md5);
    return std::vector<unsigned char>(sum.begin(), sum.end());
}

}  // namespace riptest
