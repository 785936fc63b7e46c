// The output formats as data: one row per format with its name, its file's extension,
// whether the rate and channel settings apply to it, and the encoder that writes it.
// Everything that offers or writes a format (the rip engine, its log, the rip dialog,
// the command line) goes through this table.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "encode/Encoder.h"

namespace encode {

// The formats. The values are the rows' places in the table; MP3 and WAV keep the
// values that the rip dialog's radio group always had.
enum class Format : int { Mp3 = 0, Wav = 1, Flac = 2 };

struct FormatInfo {
    Format format;
    const char* name;       // "wav": the command line's word and the log's
    const char* extension;  // the file name's ending, without the dot
    bool rateAndChannels;   // the MP3 rate and channel settings apply
    // Whether the format can be written now (MP3 needs its loaded encoder module).
    bool (*available)();
    // A new encoder for one track with the rip's settings.
    std::unique_ptr<Encoder> (*create)(const EncoderSettings& settings);
};

// Every format, in the order of Format's values.
std::span<const FormatInfo> Formats();
const FormatInfo& InfoOf(Format format);
// The format of a name ("wav", "mp3", "flac"); null for any other text.
const FormatInfo* FindFormat(std::string_view name);
// The names joined for a message: "mp3, wav or flac".
std::string FormatNames();

}  // namespace encode
