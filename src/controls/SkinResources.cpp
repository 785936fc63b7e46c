#include "controls/SkinResources.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace controls {

QString SkinBitmapPath(int id) {
    return QStringLiteral(":/skin/%1.bmp").arg(id);
}

QImage LoadSkinBitmap(int id) {
    if (!QFile::exists(SkinBitmapPath(id))) return QImage();
    return QImage(SkinBitmapPath(id), "BMP");
}

namespace {
const QString kCursorPath = QStringLiteral(":/skin/%1.cur").arg(kIdSkinCursor);
const QString kIconPath = QStringLiteral(":/skin/%1.ico").arg(kIdAppIcon);

quint16 ReadLe16(const QByteArray& b, int at) {
    return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}
}  // namespace

/*
 * Reads the hot spot of the cursor file's first image. A cursor file is an icon
 * directory (6-byte header, 16-byte entries) whose type field is 2 and whose
 * entries keep the hot spot's x and y where an icon keeps planes and bit count
 * (entry bytes 4..7).
 */
QPoint SkinCursorHotSpot() {
    QFile file(kCursorPath);
    if (!file.open(QIODevice::ReadOnly)) return QPoint(-1, -1);
    const QByteArray head = file.read(6 + 16);
    if (head.size() < 22 || ReadLe16(head, 0) != 0 || ReadLe16(head, 2) != 2 ||
        ReadLe16(head, 4) < 1)
        return QPoint(-1, -1);
    return QPoint(ReadLe16(head, 6 + 4), ReadLe16(head, 6 + 6));
}

QCursor SkinCursor(bool* ok) {
    QImageReader reader(kCursorPath, "cur");
    const QImage image = reader.read();
    const QPoint hot = SkinCursorHotSpot();
    const bool good = !image.isNull() && hot.x() >= 0;
    if (ok) *ok = good;
    if (!good) return QCursor(Qt::ArrowCursor);
    return QCursor(QPixmap::fromImage(image), hot.x(), hot.y());
}

QIcon AppIcon() {
    return QIcon(kIconPath);
}

}  // namespace controls
