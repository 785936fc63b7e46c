// Drives over libcdio: an .nrg image or one of the machine's CD drives. Cue sheets
// (and a .bin named with its cue sheet) and .toc files never reach libcdio: libcdio's
// readers for them ignore FILE lines, misplace tracks and corrupt memory on some
// sheets, so they are read by CueSheet.cpp and TocFile.cpp. MakeImageDrive chooses.
//
// Addresses. libcdio calls the drive's logical block addresses "LSNs" (the first
// track of a pressed disc is usually at 0) and calls LSN + 150 an "LBA". Everything
// this file hands out is an LSN: exactly the addresses the disc's table of contents
// gives, with a data track after an enhanced CD's gap where the image puts it, and
// the lead-out as libcdio reports it.
//
// Bad images. libcdio's default log handler ends the process on error and assertion
// messages, and some of its image parsers go on reading past their buffers after an
// assertion fails on a corrupt file. So the log handler is replaced with one that only
// counts errors, the files an image needs are checked before libcdio sees them, and on
// POSIX systems an image is first opened in a child process: if libcdio crashes,
// asserts or cannot read the table of contents there, Open() fails and this process
// never parses the file.
#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/mmc_cmds.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "ImageLayout.h"
#include "cdaccess/CdAccess.h"
#include "cdaccess/Drive.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace cdaccess {
namespace {

// Errors and failed assertions libcdio reported on this thread.
thread_local int t_cdioErrors = 0;

void CountLibcdioMessage(cdio_log_level_t level, const char* /*message*/) {
    if (level >= CDIO_LOG_ERROR) ++t_cdioErrors;
}

void InitLibcdio() {
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler(CountLibcdioMessage);
        cdio_init();
    });
}

// Frames asked of a real drive in one command: 26 frames stay under 64 KiB.
constexpr std::uint32_t kDeviceReadChunk = 26;
// How long the child process may take to open an image before it counts as broken.
constexpr auto kProbeTimeLimit = std::chrono::seconds(30);

bool IsRegularFile(const std::string& path, long long* size = nullptr) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (size) *size = static_cast<long long>(st.st_size);
    return true;
}

bool IsDeviceNode(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode));
#endif
}

// The cue sheet beside a .bin: the same name with "cue" for "bin" in the same case.
// Empty when there is none.
std::string CueBesideBin(const std::string& path) {
    if (path.size() < 4) return {};
    const std::string tail = path.substr(path.size() - 3);
    const std::string stem = path.substr(0, path.size() - 3);
    for (const std::string& cue : {tail == "BIN" ? std::string("CUE") : std::string("cue"),
                                   std::string("cue"), std::string("CUE")}) {
        if (IsRegularFile(stem + cue)) return stem + cue;
    }
    return {};
}

driver_id_t ImageDriver(const std::string& path) {
    if (LowerExtension(path) == "nrg") return DRIVER_NRG;
    if (IsDeviceNode(path)) return DRIVER_DEVICE;
    return DRIVER_UNKNOWN;
}

// The table of contents as libcdio gives it, in LSNs. False when libcdio cannot
// give one, or gives one that cannot be a disc's (tracks out of order, a lead-out
// not after the last track's start): the sign of a truncated or corrupt image.
bool ReadLibcdioToc(CdIo_t* cdio, DiscToc& toc) {
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return false;
    if (first < 1 || first + count - 1 > 99) return false;
    DiscToc result;
    result.firstTrack = first;
    result.lastTrack = static_cast<std::uint8_t>(first + count - 1);
    for (int t = first; t <= result.lastTrack; ++t) {
        const lsn_t lsn = cdio_get_track_lsn(cdio, static_cast<track_t>(t));
        const track_format_t format = cdio_get_track_format(cdio, static_cast<track_t>(t));
        if (lsn == CDIO_INVALID_LSN || lsn < 0 || format == TRACK_FORMAT_ERROR) return false;
        if (!result.tracks.empty() &&
            static_cast<std::uint32_t>(lsn) < result.tracks.back().startLba)
            return false;
        TocTrack track(static_cast<std::uint8_t>(t), format != TRACK_FORMAT_AUDIO,
                       static_cast<std::uint32_t>(lsn));
        const auto flag = [](track_flag_t f) {
            return f == CDIO_TRACK_FLAG_TRUE ? 1 : f == CDIO_TRACK_FLAG_FALSE ? 0 : -1;
        };
        track.preEmphasis = flag(cdio_get_track_preemphasis(cdio, static_cast<track_t>(t)));
        track.copyPermitted = flag(cdio_get_track_copy_permit(cdio, static_cast<track_t>(t)));
        const int channels = cdio_get_track_channels(cdio, static_cast<track_t>(t));
        track.fourChannel = channels == 4 ? 1 : channels == 2 ? 0 : -1;
        const lsn_t pregap = cdio_get_track_pregap_lsn(cdio, static_cast<track_t>(t));
        if (pregap != CDIO_INVALID_LSN && pregap >= 0 && pregap <= lsn)
            track.pregapFrames = static_cast<int>(lsn - pregap);
        result.tracks.push_back(std::move(track));
    }
    const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN || leadOut < 0 ||
        static_cast<std::uint32_t>(leadOut) <= result.tracks.back().startLba)
        return false;
    result.leadOut = static_cast<std::uint32_t>(leadOut);
    toc = std::move(result);
    return true;
}

// Opens the image and reads its table of contents and its first and last frames,
// as the real open will. True when all of it worked and libcdio reported no error.
bool TryImage(const std::string& path, driver_id_t driver) {
    t_cdioErrors = 0;
    CdIo_t* cdio = cdio_open(path.c_str(), driver);
    if (!cdio) return false;
    DiscToc toc;
    bool ok = ReadLibcdioToc(cdio, toc);
    if (ok) {
        unsigned char frame[kFrameBytes];
        ok = cdio_read_audio_sectors(cdio, frame, toc.tracks.front().startLba, 1) ==
                 DRIVER_OP_SUCCESS &&
             cdio_read_audio_sectors(cdio, frame, toc.leadOut - 1, 1) == DRIVER_OP_SUCCESS;
    }
    cdio_destroy(cdio);
    return ok && t_cdioErrors == 0;
}

// TryImage in a child process, so that whatever libcdio does with a corrupt file
// cannot touch this one. Where there is no fork the image is trusted to the log
// handler and the checks above.
bool ImageOpensSafely(const std::string& path, driver_id_t driver) {
#ifdef _WIN32
    (void)path;
    (void)driver;
    return true;
#else
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // The child only parses and exits: no stdio flush, no destructors, no atexit.
        // Whatever it might report while failing (a sanitizer's crash report, say)
        // is the expected end of a corrupt image, not news: its output goes nowhere.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        ::_exit(TryImage(path, driver) ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + kProbeTimeLimit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

// Copies one language block of libcdio's CD-Text: English where the disc has it (the
// block peers and the databases expect), else the first block the disc uses. libcdio
// gives UTF-8 where it could convert the block's character set; a Latin-1 text it
// could not convert is converted here.
void CopyLibcdioText(cdtext_t* text, DiscText& out) {
    out = {};
    if (!text) return;
    if (const cdtext_lang_t* languages = cdtext_list_languages_v2(text)) {
        int chosen = -1;
        for (int i = 0; i < 8 && chosen < 0; ++i)
            if (languages[i] == CDTEXT_LANGUAGE_ENGLISH) chosen = i;
        for (int i = 0; i < 8 && chosen < 0; ++i)
            if (languages[i] != CDTEXT_LANGUAGE_BLOCK_UNUSED) chosen = i;
        if (chosen >= 0) cdtext_set_language_index(text, chosen);
    }
    auto entry = [text](int track) {
        auto get = [&](cdtext_field_t field) {
            const char* value = cdtext_get_const(text, field, static_cast<track_t>(track));
            return value ? TextAsUtf8(value) : std::string();
        };
        return TextEntry{track, get(CDTEXT_FIELD_TITLE), get(CDTEXT_FIELD_PERFORMER),
                         get(CDTEXT_FIELD_SONGWRITER)};
    };
    out.disc = entry(0);
    const int first = cdtext_get_first_track(text), last = cdtext_get_last_track(text);
    for (int t = std::max(first, 1); t <= last && t <= 99; ++t) {
        TextEntry e = entry(t);
        if (!e.Empty()) out.tracks.push_back(std::move(e));
    }
}

// One drive over libcdio. An image is checked and parsed on Open; a real drive is
// opened as a device and asked for its table of contents when the caller wants it.
class CdioDrive : public Drive {
  public:
    CdioDrive(std::string path, bool device) : path_(std::move(path)), device_(device) {}
    ~CdioDrive() override { Close(); }

    std::string Name() const override { return path_; }

    bool Open() override {
        InitLibcdio();
        std::lock_guard<std::mutex> guard(mutex_);
        Close();
        const driver_id_t driver = device_ ? DRIVER_DEVICE : ImageDriver(path_);
        error_.clear();
        if (driver != DRIVER_DEVICE) {
            long long size = 0;
            if (!IsRegularFile(path_, &size)) {
                error_ = ::access(path_.c_str(), F_OK) == 0 ? "it is not a regular file"
                                                            : "the file is missing";
                return false;
            }
            if (size <= 0) {
                error_ = "the file is empty";
                return false;
            }
            if (driver == DRIVER_UNKNOWN) {
                error_ =
                    "it is not a disc image Trackmill knows (.cue, .bin with its .cue, .toc, .nrg)";
                return false;
            }
            if (!ImageOpensSafely(path_, driver)) {
                error_ =
                    "libcdio cannot read a table of contents from it (a broken or truncated image)";
                return false;
            }
        }
        t_cdioErrors = 0;
        cdio_ = cdio_open(path_.c_str(), driver);
        if (!cdio_) {
            error_ = device_ ? "the drive cannot be opened" : "libcdio cannot open it";
            return false;
        }
        isImage_ = driver != DRIVER_DEVICE;
#ifndef _WIN32
        if (isImage_) {
            // The same file as libcdio reads, held to see whether it shrinks.
            imageFd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            if (imageFd_ < 0 || ::fstat(imageFd_, &st) != 0) {
                error_ = "the file cannot be read";
                Close();
                return false;
            }
            imageBytes_ = static_cast<long long>(st.st_size);
        }
#endif
        if (isImage_) {
            DiscToc toc;
            if (!ReadLibcdioToc(cdio_, toc) || t_cdioErrors != 0) {
                error_ = "libcdio cannot read a table of contents from it";
                Close();
                return false;
            }
            leadOut_ = toc.leadOut;
        }
        return true;
    }

    std::string OpenError() const override {
        std::lock_guard<std::mutex> guard(mutex_);
        return error_;
    }

    bool ReadToc(DiscToc& toc) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!cdio_) return false;
        return ReadLibcdioToc(cdio_, toc);
    }

    int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!cdio_ || !out) return kCdReadError;
        if (count == 0) return kCdOk;
        // An image has nothing past its lead-out (libcdio would hand back a short read
        // as a success); a real drive answers for itself.
        if (isImage_ && (lba >= leadOut_ || count > leadOut_ - lba)) return kCdReadError;
        const std::uint32_t chunk = isImage_ ? count : kDeviceReadChunk;
        for (std::uint32_t done = 0; done < count;) {
            const std::uint32_t n = std::min(chunk, count - done);
            if (cdio_read_audio_sectors(cdio_, out + std::size_t{done} * kFrameBytes,
                                        static_cast<lsn_t>(lba + done), n) != DRIVER_OP_SUCCESS)
                return kCdReadError;
            done += n;
        }
        if (isImage_ && Shrunk()) return kCdReadError;
        return kCdOk;
    }

    bool ReadText(DiscText& out) override {
        std::lock_guard<std::mutex> guard(mutex_);
        out = {};
        if (!cdio_) return false;
        CopyLibcdioText(cdio_get_cdtext(cdio_), out);  // owned by libcdio
        return true;
    }

    // The catalogue number and the audio tracks' ISRCs: a real drive reads each from the
    // Q sub-channel; an image gives what it holds.
    bool ReadCodes(DiscCodes& codes) override {
        std::lock_guard<std::mutex> guard(mutex_);
        codes = DiscCodes{};
        if (!cdio_) return false;
        auto take = [](char* text) {
            std::string value = text ? std::string(text) : std::string();
            std::free(text);  // libcdio hands out malloc'd copies
            return value;
        };
        codes.catalog = take(cdio_get_mcn(cdio_));
        DiscToc toc;
        if (!ReadLibcdioToc(cdio_, toc)) return false;
        for (const TocTrack& t : toc.tracks) {
            if (t.data) continue;
            std::string isrc = take(cdio_get_track_isrc(cdio_, t.number));
            if (!isrc.empty()) codes.isrc[t.number] = std::move(isrc);
        }
        return true;
    }

    bool Ready() override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!cdio_) return false;
        if (isImage_) return true;
        return mmc_test_unit_ready(cdio_, 0) == DRIVER_OP_SUCCESS;
    }

  private:
    void Close() {
        if (cdio_) cdio_destroy(cdio_);
        cdio_ = nullptr;
        leadOut_ = 0;
#ifndef _WIN32
        if (imageFd_ >= 0) ::close(imageFd_);
        imageFd_ = -1;
#endif
    }

    // libcdio takes a short read from an image (a file cut while it is read) for a
    // whole one and hands back whatever its buffer held. An image that is now shorter
    // than when it was opened may have been cut under the read just made: that read
    // counts as failed, as a short read from a BIN image does.
    bool Shrunk() const {
#ifdef _WIN32
        return false;
#else
        struct stat st {};
        return ::fstat(imageFd_, &st) != 0 || static_cast<long long>(st.st_size) < imageBytes_;
#endif
    }

    mutable std::mutex mutex_;
    const std::string path_;
    const bool device_;
    std::string error_;
    bool isImage_ = false;
    CdIo_t* cdio_ = nullptr;
    std::uint32_t leadOut_ = 0;
    int imageFd_ = -1;
    long long imageBytes_ = 0;
};

}  // namespace

namespace {

// A drive that cannot be opened, with its reason.
class RefusedDrive : public Drive {
  public:
    RefusedDrive(std::string path, std::string reason)
        : path_(std::move(path)), reason_(std::move(reason)) {}
    std::string Name() const override { return path_; }
    bool Open() override { return false; }
    bool ReadToc(DiscToc&) override { return false; }
    int ReadFrames(std::uint32_t, std::uint32_t, unsigned char*) override { return kCdReadError; }
    bool Ready() override { return false; }
    std::string OpenError() const override { return reason_; }

  private:
    const std::string path_, reason_;
};

}  // namespace

bool DiscTextFromPacks(const unsigned char* packs, std::size_t bytes, DiscText& out) {
    out = {};
    if (!packs || bytes == 0) return false;
    InitLibcdio();
    cdtext_t* text = cdtext_init();
    if (!text) return false;
    std::vector<std::uint8_t> copy(packs, packs + bytes);  // libcdio asks for writable data
    const bool ok = cdtext_data_init(text, copy.data(), copy.size()) == 0;
    if (ok) CopyLibcdioText(text, out);
    cdtext_destroy(text);
    return ok;
}

std::shared_ptr<Drive> MakeImageDrive(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == "cue") return std::make_shared<ImageLayoutDrive>(path, ReadCueSheet);
    if (ext == "toc") return std::make_shared<ImageLayoutDrive>(path, ReadTocFile);
    if (ext == "bin") {
        const std::string cue = CueBesideBin(path);
        if (cue.empty())
            return std::make_shared<RefusedDrive>(
                path, "a .bin image needs its cue sheet beside it, of the same name");
        return std::make_shared<ImageLayoutDrive>(cue, ReadCueSheet);
    }
    InitLibcdio();
    return std::make_shared<CdioDrive>(path, false);
}

std::vector<std::shared_ptr<Drive>> SystemDrives() {
    InitLibcdio();
    std::vector<std::shared_ptr<Drive>> drives;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    if (!devices) return drives;
    for (char** d = devices; *d; ++d) drives.push_back(std::make_shared<CdioDrive>(*d, true));
    cdio_free_device_list(devices);
    return drives;
}

}  // namespace cdaccess
