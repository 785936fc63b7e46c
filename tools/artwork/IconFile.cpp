#include "IconFile.h"

#include <QByteArray>
#include <QFile>
#include <QHash>

namespace artwork {

namespace {

void Put16(QByteArray& b, quint32 v) {
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}
void Put32(QByteArray& b, quint32 v) {
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}

bool WriteAll(const QByteArray& bytes, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

// Opaque colour of a pixel reduced to `drop` fewer bits per channel, rounded to the
// middle of its bucket.
QRgb Reduce(QRgb c, int drop) {
    if (drop == 0) return c | 0xff000000u;
    const int half = 1 << (drop - 1);
    auto ch = [&](int v) { return std::min(255, ((v >> drop) << drop) + half); };
    return qRgb(ch(qRed(c)), ch(qGreen(c)), ch(qBlue(c)));
}

/*
 * One icon image as stored in an icon or cursor file: a BITMAPINFOHEADER whose
 * height counts both masks (2 x h), a 256-entry palette, the colour rows (8 bits,
 * bottom-up, padded to 4 bytes) and the 1-bit AND mask (1 = transparent).
 * Colours are reduced a bit per channel at a time until at most 256 remain.
 */
QByteArray EncodeImage8(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    int drop = 0;
    QHash<QRgb, int> index;
    for (;; ++drop) {
        index.clear();
        bool fits = true;
        for (int y = 0; y < h && fits; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = image.pixel(x, y);
                if (qAlpha(c) < 128) continue;
                const QRgb r = Reduce(c, drop);
                if (!index.contains(r)) {
                    if (index.size() == 256) {
                        fits = false;
                        break;
                    }
                    const int next = int(index.size());
                    index.insert(r, next);
                }
            }
        if (fits) break;
    }
    QList<QRgb> palette(256, qRgb(0, 0, 0));
    for (auto it = index.cbegin(); it != index.cend(); ++it) palette[it.value()] = it.key();

    QByteArray b;
    Put32(b, 40);
    Put32(b, quint32(w));
    Put32(b, quint32(2 * h));
    Put16(b, 1);  // planes
    Put16(b, 8);  // bits per pixel
    Put32(b, 0);  // no compression
    const int colourStride = (w + 3) & ~3;
    const int maskStride = ((w + 31) / 32) * 4;
    Put32(b, quint32(colourStride * h + maskStride * h));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 256);
    Put32(b, 0);
    for (QRgb c : palette) {
        b.append(char(qBlue(c)));
        b.append(char(qGreen(c)));
        b.append(char(qRed(c)));
        b.append('\0');
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(colourStride, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb c = image.pixel(x, y);
            if (qAlpha(c) >= 128) row[x] = char(index.value(Reduce(c, drop)));
        }
        b.append(row);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, y)) < 128) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        b.append(row);
    }
    return b;
}

// An icon directory: type 1 = icon, 2 = cursor (then each entry carries a hot spot
// where an icon keeps planes and bit count).
QByteArray EncodeDirectory(int type, const QList<QImage>& images, QPoint hotSpot) {
    QList<QByteArray> bodies;
    for (const QImage& image : images) bodies.append(EncodeImage8(image));
    QByteArray b;
    Put16(b, 0);
    Put16(b, quint32(type));
    Put16(b, quint32(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        b.append(char(images[i].width() >= 256 ? 0 : images[i].width()));
        b.append(char(images[i].height() >= 256 ? 0 : images[i].height()));
        b.append('\0');  // colour count: 0 = 256
        b.append('\0');
        if (type == 2) {
            Put16(b, quint32(hotSpot.x()));
            Put16(b, quint32(hotSpot.y()));
        } else {
            Put16(b, 1);
            Put16(b, 8);
        }
        Put32(b, quint32(bodies[i].size()));
        Put32(b, offset);
        offset += quint32(bodies[i].size());
    }
    for (const QByteArray& body : bodies) b.append(body);
    return b;
}

}  // namespace

bool WriteBmp24(const QImage& source, const QString& path) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width();
    const int h = image.height();
    const int stride = (w * 3 + 3) & ~3;
    QByteArray b;
    b.append("BM");
    Put32(b, quint32(14 + 40 + stride * h));
    Put32(b, 0);
    Put32(b, 14 + 40);
    Put32(b, 40);
    Put32(b, quint32(w));
    Put32(b, quint32(h));  // positive: rows bottom-up
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);  // BI_RGB: uncompressed
    Put32(b, quint32(stride * h));
    Put32(b, 2835);  // 72 dpi
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb c = image.pixel(x, y);
            row[3 * x] = char(qBlue(c));
            row[3 * x + 1] = char(qGreen(c));
            row[3 * x + 2] = char(qRed(c));
        }
        b.append(row);
    }
    return WriteAll(b, path);
}

bool WriteIcon8(const QList<QImage>& images, const QString& path) {
    return WriteAll(EncodeDirectory(1, images, QPoint()), path);
}

bool WriteCursor8(const QImage& image, QPoint hotSpot, const QString& path) {
    return WriteAll(EncodeDirectory(2, {image}, hotSpot), path);
}

}  // namespace artwork
