// HoverButton: the push button of the program's modal dialogs.
//
// A rounded (5 x 5 corner) button painted by itself: a black outline, a face
// filled with a 64-step vertical gradient from white to a faint blue-grey, an
// orange frame while the pointer rests on it, a blue frame and a dotted focus
// rectangle while it has the keyboard focus, and the caption centred in the
// dialog's font (one pixel right and down while pressed).
#pragma once

#include <QColor>
#include <QPushButton>
#include <QRect>

class QPainter;
class QTimer;

class HoverButton : public QPushButton {
    Q_OBJECT
  public:
    explicit HoverButton(QWidget* parent = nullptr);
    explicit HoverButton(const QString& caption, QWidget* parent = nullptr);
    ~HoverButton() override;

    // Colour of gradient step i (0..63) for the given state.
    static QColor StepColour(int step, bool hover, bool highlighted);
    // The gradient step of client row y for a face of height faceHeight: 63 * y / h,
    // never past 63 (and 63 when the face has no height).
    static int StepForRow(int y, int faceHeight);
    // The rounded outline's region for a button of this size.
    static QRegion RoundedRegion(const QSize& size);

    // True while the pointer rests on the button (the hover look shows).
    bool IsHot() const { return hover_; }

  protected:
    // Fills the face rectangle (client coordinates) with the gradient of the state.
    virtual void DrawFace(QPainter& p, const QRect& face);
    // Draws the hover or focus frame around the face rectangle.
    virtual void DrawFrame(QPainter& p, const QRect& face);

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void Setup();
    // Starts the hover request: the hover look shows once the pointer has rested.
    void Track();

    QTimer* hoverTimer_ = nullptr;
    bool hover_ = false;
    bool tracking_ = false;
    bool focused_ = false;
    bool highlighted_ = false;
};
