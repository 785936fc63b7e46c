#include "controls/BitmapButton.h"

#include <QPainter>

#include "controls/SkinResources.h"

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

BitmapButton::~BitmapButton() = default;

bool BitmapButton::LoadBitmaps(int normal, int pressed, int focused, int disabled) {
    const int ids[4] = {normal, pressed, focused, disabled};
    bool ok = true;
    for (int i = 0; i < 4; ++i) {
        if (ids[i] == 0) {
            faces_[i] = QImage();
            continue;
        }
        faces_[i] = controls::LoadSkinBitmap(ids[i]);
        if (faces_[i].isNull()) ok = false;
    }
    if (faces_[kNormal].isNull()) ok = false;
    update();
    return ok;
}

void BitmapButton::SetFace(Face which, const QImage& image) {
    faces_[which] = image;
    update();
}

BitmapButton::Face BitmapButton::ChooseFace(bool pressed, bool focused, bool disabled) const {
    if (pressed && !faces_[kPressed].isNull()) return kPressed;
    if (focused && !faces_[kFocused].isNull()) return kFocused;
    if (disabled && !faces_[kDisabled].isNull()) return kDisabled;
    return kNormal;
}

BitmapButton::Face BitmapButton::CurrentFace() const {
    return ChooseFace(isDown(), hasFocus(), !isEnabled());
}

QSize BitmapButton::sizeHint() const {
    return faces_[kNormal].isNull() ? QSize(16, 16) : faces_[kNormal].size();
}

void BitmapButton::paintEvent(QPaintEvent*) {
    const QImage& face = faces_[CurrentFace()];
    if (face.isNull()) return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), face);  // unscaled; clipped by the button's rectangle
}
