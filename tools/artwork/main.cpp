// Artwork generator: draws every picture of the program's skin and writes it in
// the format the resources keep (24-bit BMP, 8-bit ICO and CUR).
//
// usage: trackmill_artwork OUTPUT_FOLDER
// Writes OUTPUT_FOLDER/<id>.bmp for the bitmaps, 167.cur and 128.ico. The layout
// follows this machine's dialog font and title bar height (see SkinLayout.h).
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "Artwork.h"
#include "IconFile.h"
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

    bool ok = Save(background, folder, 136);
    ok &= Save(DrawTitleButton('C', under(kCloseButton, {19, 19})), folder, 142);
    ok &= Save(DrawTitleButton('I', under(kMinimiseButton, {19, 19})), folder, 144);
    ok &= Save(DrawTitleButton('M', under(kWebButton, {19, 19})), folder, 145);
    ok &= Save(DrawHelpBadge(under(kHelpButton, {25, 25})), folder, 147);
    ok &= Save(DrawTab(QStringLiteral("RIPPER"), underTab(kRipButton)), folder, 149);
    ok &= Save(DrawTab(QStringLiteral("CONVERT"), underTab(kConvertButton)), folder, 150);
    ok &= Save(DrawTab(QStringLiteral("OPTION"), underTab(kOptionButton)), folder, 148);
    const struct {
        Symbol symbol;
        int normal, blue;
    } transports[] = {{Symbol::Play, 152, 153},  {Symbol::Stop, 155, 156},
                      {Symbol::Pause, 157, 158}, {Symbol::First, 159, 160},
                      {Symbol::Back, 161, 168},  {Symbol::Forward, 163, 164},
                      {Symbol::Next, 165, 166}};
    for (int i = 0; i < 7; ++i) {
        const auto& t = transports[i];
        const QRect button(QPoint(kTransportLeft[i], kTransportTop), kTransportSize);
        const QImage below = under(button, kTransportFaceSize);
        ok &= Save(DrawTransport(t.symbol, false, below), folder, t.normal);
        ok &= Save(DrawTransport(t.symbol, true, below), folder, t.blue);
    }
    if (!WriteCursor8(DrawCursor(), kCursorHotSpot, folder + QStringLiteral("/167.cur"))) {
        std::fprintf(stderr, "trackmill_artwork: cannot write the cursor\n");
        ok = false;
    }
    if (!WriteIcon8({DrawAppIcon(16), DrawAppIcon(32)}, folder + QStringLiteral("/128.ico"))) {
        std::fprintf(stderr, "trackmill_artwork: cannot write the icon\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
