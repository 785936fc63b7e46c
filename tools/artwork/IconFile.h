// Writers for the picture file formats the program's resources use: uncompressed
// 24-bit BMP, and 8-bit icon (.ico) and cursor (.cur) files.
#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

namespace artwork {

// Writes an uncompressed 24 bits-per-pixel BMP. False on a write error.
bool WriteBmp24(const QImage& image, const QString& path);

// Writes an icon file with one 8 bits-per-pixel image per entry (at most 256
// colours each, alpha reduced to the 1-bit mask at half opacity).
bool WriteIcon8(const QList<QImage>& images, const QString& path);

// Writes a cursor file with one 8 bits-per-pixel image and its hot spot.
bool WriteCursor8(const QImage& image, QPoint hotSpot, const QString& path);

}  // namespace artwork
