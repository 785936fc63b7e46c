// The ids of the program's pictures, the one list of them: the controls load them
// by id, the artwork generator draws them under these ids, and the resources' build
// reads the list from this file (the comment names each picture's file type).
#pragma once

namespace controls {

enum SkinId : int {
    kIdAppIcon = 128,      // ico
    kIdBackground = 136,   // bmp
    kIdClose = 142,        // bmp
    kIdMinimise = 144,     // bmp
    kIdWebPage = 145,      // bmp
    kIdHelp = 147,         // bmp
    kIdOption = 148,       // bmp
    kIdRipper = 149,       // bmp
    kIdConvert = 150,      // bmp
    kIdPlay = 152,         // bmp
    kIdPlayBlue = 153,     // bmp
    kIdStop = 155,         // bmp
    kIdStopBlue = 156,     // bmp
    kIdPause = 157,        // bmp
    kIdPauseBlue = 158,    // bmp
    kIdFirst = 159,        // bmp
    kIdFirstBlue = 160,    // bmp
    kIdBack = 161,         // bmp
    kIdForward = 163,      // bmp
    kIdForwardBlue = 164,  // bmp
    kIdNext = 165,         // bmp
    kIdNextBlue = 166,     // bmp
    kIdSkinCursor = 167,   // cur
    kIdBackBlue = 168,     // bmp
};

}  // namespace controls
