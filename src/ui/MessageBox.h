// Message boxes of the program's windows, through one seam.
//
// Every window shows its message boxes with ShowMessageBox, which runs a modal
// QMessageBox. Tests install an answerer instead: each box is then handed to it
// (text, caption, icon, buttons) and its answer returned, without any window.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace ui {

struct MessageBoxRequest {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Shows the box modally over `owner` (may be null) and returns the button the user
// pressed (Escape gives the box's escape button, as QMessageBox decides).
QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                           const QString& caption,
                                           QMessageBox::Icon icon = QMessageBox::Information,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Answers every box instead of the user while set; an empty function restores the
// real boxes. For tests.
using MessageBoxAnswerer = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

}  // namespace ui
