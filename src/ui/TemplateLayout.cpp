#include "ui/TemplateLayout.h"

#include <QColor>
#include <QDialog>
#include <QPalette>

#include "controls/DialogFont.h"
#include "controls/SkinResources.h"
#include "platform/WindowMessages.h"

namespace ui {

QColor DialogBackground() {
    return QColor(247, 243, 247);
}

QSize ApplyTemplate(QDialog* dialog, const QString& caption, int width, int height) {
    dialog->setWindowTitle(caption);
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setWindowIcon(controls::AppIcon());
    const QFont font = controls::DialogFont();
    dialog->setFont(font);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, DialogBackground());
    dialog->setPalette(palette);
    dialog->setAutoFillBackground(true);
    const QSize base = controls::DialogBaseUnits(font);
    dialog->setFixedSize(controls::DialogXToPixels(width, base),
                         controls::DialogYToPixels(height, base));
    return base;
}

void PlaceControl(QWidget* control, int id, const QRect& dialogUnits, const QSize& base) {
    control->setGeometry(controls::DialogRectToPixels(dialogUnits, base));
    if (id != 0) platform::SetControlId(control, id);
}

}  // namespace ui
