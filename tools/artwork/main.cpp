// Artwork generator: draws every picture of the program's skin and writes it in
// the format the resources keep (24-bit BMP, 8-bit ICO and CUR).
//
// usage: trackmill_artwork OUTPUT_FOLDER
// Writes OUTPUT_FOLDER/<id>.bmp for the bitmaps, 167.cur and 128.ico, and the
// application icon for the desktop's icon theme as
// OUTPUT_FOLDER/hicolor/<n>x<n>/apps/trackmill.png. The layout follows this
// machine's dialog font and title bar height (see SkinLayout.h).
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "Artwork.h"
#include "IconFile.h"
#include "controls/SkinIds.h"
#include "controls/SkinLayout.h"

namespace {

bool Save(const QImage& image, const QString& folder, int id) {
    const QString path = folder + QStringLiteral("/%1.bmp").arg(id);
    if (artwork::WriteBmp24(image, path)) return true;
    std::fprintf(stderr, "trackmill_artwork: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: trackmill_artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "trackmill_artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    using namespace artwork;
    const WindowMetrics m = CurrentWindowMetrics();
    const QImage background = DrawBackground(m);
    const QImage plain = DrawBackground(m, false);
    auto under = [&](const QRect& button, QSize size) {
        return BackgroundUnder(background, m, button, size);
    };
    auto underTab = [&](const QRect& button) {
        return BackgroundUnder(plain, m, button, kTabFaceSize);
    };

    bool ok = Save(background, folder, controls::kIdBackground);
    ok &= Save(DrawTitleButton('C', under(kCloseButton, {19, 19})), folder, controls::kIdClose);
    ok &=
        Save(DrawTitleButton('I', under(kMinimiseButton, {19, 19})), folder, controls::kIdMinimise);
    ok &= Save(DrawTitleButton('M', under(kWebButton, {19, 19})), folder, controls::kIdWebPage);
    ok &= Save(DrawHelpBadge(under(kHelpButton, {25, 25})), folder, controls::kIdHelp);
    ok &=
        Save(DrawTab(QStringLiteral("RIPPER"), underTab(kRipButton)), folder, controls::kIdRipper);
    ok &= Save(DrawTab(QStringLiteral("CONVERT"), underTab(kConvertButton)), folder,
               controls::kIdConvert);
    ok &= Save(DrawTab(QStringLiteral("OPTION"), underTab(kOptionButton)), folder,
               controls::kIdOption);
    const struct {
        Symbol symbol;
        int normal, blue;
    } transports[] = {{Symbol::Play, controls::kIdPlay, controls::kIdPlayBlue},
                      {Symbol::Stop, controls::kIdStop, controls::kIdStopBlue},
                      {Symbol::Pause, controls::kIdPause, controls::kIdPauseBlue},
                      {Symbol::First, controls::kIdFirst, controls::kIdFirstBlue},
                      {Symbol::Back, controls::kIdBack, controls::kIdBackBlue},
                      {Symbol::Forward, controls::kIdForward, controls::kIdForwardBlue},
                      {Symbol::Next, controls::kIdNext, controls::kIdNextBlue}};
    for (int i = 0; i < 7; ++i) {
        const auto& t = transports[i];
        const QRect button(QPoint(kTransportLeft[i], kTransportTop), kTransportSize);
        const QImage below = under(button, kTransportFaceSize);
        ok &= Save(DrawTransport(t.symbol, false, below), folder, t.normal);
        ok &= Save(DrawTransport(t.symbol, true, below), folder, t.blue);
    }
    if (!WriteCursor8(DrawCursor(), kCursorHotSpot,
                      folder + QStringLiteral("/%1.cur").arg(controls::kIdSkinCursor))) {
        std::fprintf(stderr, "trackmill_artwork: cannot write the cursor\n");
        ok = false;
    }
    if (!WriteIcon8({DrawAppIcon(16), DrawAppIcon(32)},
                    folder + QStringLiteral("/%1.ico").arg(controls::kIdAppIcon))) {
        std::fprintf(stderr, "trackmill_artwork: cannot write the icon\n");
        ok = false;
    }
    for (const int size : kThemeIconSizes) {
        const QString dir = folder + QStringLiteral("/hicolor/%1x%1/apps").arg(size);
        if (!QDir().mkpath(dir) ||
            !DrawAppIcon(size).save(dir + QStringLiteral("/trackmill.png"), "PNG")) {
            std::fprintf(stderr, "trackmill_artwork: cannot write the %dx%d theme icon\n", size,
                         size);
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
