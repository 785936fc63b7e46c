#include "cd/DiscSession.h"

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
        const std::string image = FirstImage(args);
        if (!image.empty())
            error = "cannot open the disc image " + image + " (nor any CD drive)";
        else
            error = out.drives.count == 0 ? "no CD drive or disc image found"
                                          : "no CD drive or disc image could be opened";
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

void CloseDisc(DiscState& state) {
    if (state.handle != 0) CloseCDHandle(state.handle);
    state.handle = 0;
}

}  // namespace cd
