// Building a modal dialog from its template: caption, client size and control
// rectangles in dialog units, the dialog font and colours, control ids as object names.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

class QDialog;
class QWidget;

namespace ui {

// The dialogs' background, RGB(247, 243, 247).
QColor DialogBackground();

// Gives `dialog` the template's look: the dialog font, the program's small icon, the
// dialog background, a fixed client size of width x height dialog units, and a frame
// with caption, system menu and close box only. Returns the font's base units, for
// PlaceControl.
QSize ApplyTemplate(QDialog* dialog, const QString& caption, int width, int height);

// Puts a control at its template rectangle (left, top, width, height in dialog units)
// and, when id is not 0, names it by its control id.
void PlaceControl(QWidget* control, int id, const QRect& dialogUnits, const QSize& base);

}  // namespace ui
