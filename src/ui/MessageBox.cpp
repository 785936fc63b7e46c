#include "ui/MessageBox.h"

#include <utility>

namespace ui {

namespace {
MessageBoxAnswerer& Answerer() {
    static MessageBoxAnswerer answerer;
    return answerer;
}
}  // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                           const QString& caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons) {
    if (Answerer()) return Answerer()(MessageBoxRequest{text, caption, icon, buttons});
    QMessageBox box(icon, caption, text, buttons, owner);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) {
    Answerer() = std::move(answerer);
}

}  // namespace ui
