// BitmapButton: a push button that shows one of four pictures by state.
//
// Faces are loaded by resource id (SkinResources.h): normal, pressed, focused and
// disabled, any but the normal one may be missing (id 0). The face is chosen by
// state (pressed, else focused, else disabled, else normal, each only when that
// face exists) and copied unscaled to the button's top-left corner. The part of the
// button its face does not cover is left unpainted, so the window's skin behind it
// shows through.
#pragma once

#include <QAbstractButton>
#include <QImage>

class BitmapButton : public QAbstractButton {
    Q_OBJECT
  public:
    enum Face { kNormal = 0, kPressed = 1, kFocused = 2, kDisabled = 3 };

    explicit BitmapButton(QWidget* parent = nullptr);
    ~BitmapButton() override;

    // Loads the faces by resource id; 0 leaves a face empty. False when the normal
    // face cannot be loaded (or a non-zero id names no picture); the faces that did
    // load are kept.
    bool LoadBitmaps(int normal, int pressed = 0, int focused = 0, int disabled = 0);
    // Sets a face directly (an empty image removes it).
    void SetFace(Face which, const QImage& image);

    // The face the state rules pick for these states (kNormal when nothing else
    // applies or the chosen face is empty).
    Face ChooseFace(bool pressed, bool focused, bool disabled) const;
    // The face a paint would show now.
    Face CurrentFace() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QImage faces_[4];
};
