#include "cd/DiscSession.h"

#include <algorithm>
#include <cstring>

#include "cdaccess/Drive.h"

namespace cd {

namespace {

// The file of the first `--disc FILE` pair, or the empty text.
std::string FirstImage(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--disc") return args[i + 1];
    return {};
}

// The first listed drive that says why it failed (for an image, what is wrong with
// it): false when none does.
bool FirstOpenFailure(std::string& name, std::string& reason) {
    for (const auto& drive : cdaccess::ListedDrives()) {
        if (!drive || drive->OpenError().empty()) continue;
        reason = drive->OpenError();
        name = drive->Name();
        return true;
    }
    return false;
}

}  // namespace

bool ApplyDiscOptions(const std::vector<std::string>& args, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--disc") continue;
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = "--disc needs the path of a disc image";
            return false;
        }
        cdaccess::AddImage(args[++i]);
    }
    return true;
}

bool OpenDisc(const std::vector<std::string>& args, DiscState& out, std::string& error) {
    CloseDisc(out);
    out.rows.clear();
    out.driveName.clear();
    if (!ApplyDiscOptions(args, error)) return false;

    std::memset(&out.drives, 0, sizeof out.drives);
    out.drives.capacity = 8;
    GetCDList(&out.drives);
    out.handle = OpenDrive(0, out.drives);
    if (out.handle == 0) {
        std::string reason, failed;
        FirstOpenFailure(failed, reason);
        const std::string image = FirstImage(args);
        if (!image.empty())
            error = "cannot open the disc image " + image + " (nor any CD drive)";
        else if (!failed.empty())
            error = "cannot open the disc image " + failed;
        else
            error = out.drives.count == 0 ? "no CD drive or disc image found"
                                          : "no CD drive or disc image could be opened";
        if (!reason.empty()) error += ": " + reason;
        return false;
    }
    if (auto drive = cdaccess::DriveForHandle(out.handle)) out.driveName = drive->Name();

    if (BuildTrackTable(out.handle, out.drives, out.table.data(), out.rows) == 0) {
        error = "the table of contents of the disc in " + out.driveName + " could not be read";
        CloseDisc(out);
        return false;
    }
    return true;
}

std::string DriveOpenFailure() {
    std::string name, reason;
    if (!FirstOpenFailure(name, reason)) return {};
    return "cannot open the disc image " + name + ": " + reason;
}

DiscState::~DiscState() {
    CloseDisc(*this);
}

void CloseDisc(DiscState& state) {
    if (state.handle != 0) CloseCDHandle(state.handle);
    state.handle = 0;
}

std::uint32_t HiddenAudioFrames(std::uint32_t handle) {
    const HiddenAudio hidden = ScanHiddenAudio(handle);
    return hidden.readable && !hidden.silent ? hidden.frames : 0;
}

HiddenAudio ScanHiddenAudio(std::uint32_t handle) {
    HiddenAudio hidden;
    TocRecord toc{};
    if (handle == 0 || ReadTOC(handle, &toc) != 1 || toc.firstTrack != 1 || toc.lastTrack < 1)
        return hidden;
    if (toc.descriptors[0].control & kTocDataTrack) return hidden;
    hidden.frames = DecodeBigEndian32(toc.descriptors[0].address);
    constexpr std::uint32_t kChunk = 27;
    std::vector<unsigned char> buffer(sizeof(ReadBlock) + kChunk * kFrameBytes);
    auto* block = reinterpret_cast<ReadBlock*>(buffer.data());
    for (std::uint32_t lba = 0; lba < hidden.frames; lba += kChunk) {
        std::memset(block, 0, sizeof(ReadBlock));
        block->startLba = lba;
        block->frameCount = std::min(kChunk, hidden.frames - lba);
        block->capacity = kChunk * kFrameBytes;
        if (ReadCDAudioLBA(handle, block) != kCdOk) {
            hidden.readable = false;
            return hidden;
        }
        const unsigned char* data = block->data();
        if (std::any_of(data, data + block->dataLength, [](unsigned char b) { return b != 0; })) {
            hidden.silent = false;
            return hidden;
        }
    }
    return hidden;
}

}  // namespace cd
