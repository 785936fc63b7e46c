// SkinSlider: the main window's seek slider, drawn over the window's skin.
//
// The slider has no background of its own: around its channel and thumb it shows
// the picture of the window behind it. That picture is captured once, at the first
// paint, from a backdrop source the owner supplies (the part of its own painting
// that lies under the slider); every later paint reuses the capture. Pixels that
// the slider's own base drawing leaves pure black (tick marks, say) stay black; the
// style then draws the channel and the thumb on top. Without a backdrop source, or
// when the source gives nothing, the slider paints as a plain QSlider.
//
// The pointer shows the skin cursor over the slider. A release of the left button
// after a press on the slider (a thumb drag or a click on the channel) is reported
// as captureReleased().
#pragma once

#include <QImage>
#include <QSlider>
#include <functional>

class SkinSlider : public QSlider {
    Q_OBJECT
  public:
    // The owner's picture under a rectangle given in the parent's coordinates.
    using BackdropSource = std::function<QImage(const QRect& inParent)>;

    explicit SkinSlider(QWidget* parent = nullptr);
    ~SkinSlider() override;

    void SetBackdropSource(BackdropSource source);
    // The captured backdrop: null until the first paint that could capture one.
    const QImage& Backdrop() const { return backdrop_; }
    // True when the skin cursor could be loaded (it is then the slider's cursor).
    bool HasSkinCursor() const { return skinCursor_; }

  signals:
    void captureReleased();

  protected:
    // The slider's own drawing before its channel: the background fill and, when
    // the slider has them, its tick marks.
    virtual void DrawBase(QPainter& p);

    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    bool CaptureBackdrop();

    BackdropSource source_;
    QImage backdrop_;
    bool skinCursor_ = false;
};
