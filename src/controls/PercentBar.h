// PercentBar: the progress bar of the rip and convert dialogs.
//
// A flat light-blue bar in a sunken one-pixel frame with the percentage as text in
// the middle, driven by the PBX_* window messages (core/Messages.h) so worker
// threads can move it by posting to its window handle. Until Initialize() attaches
// the bar's record it paints and behaves as a plain QProgressBar and ignores the
// PBX_* messages.
#pragma once

#include <QColor>
#include <QImage>
#include <QProgressBar>
#include <cstdint>
#include <memory>

#include "core/Messages.h"

class PercentBar : public QProgressBar {
    Q_OBJECT
  public:
    explicit PercentBar(QWidget* parent = nullptr);
    ~PercentBar() override;

    // Attaches the bar's record: range 100, position 0, the off-screen buffer made
    // once at the current size. Call once, after the bar has its final geometry.
    // Returns false when already initialised.
    bool Initialize();

    // The per-mille value of v against range: v * 1000 / range, formed in 64 bits
    // so byte counts of long tracks do not overflow. 0 when range is 0.
    static std::uint32_t PerMille(std::uint32_t v, std::uint32_t range);

    // Number of times the bar has painted itself since Initialize (test seam for
    // the repaint rule: a change below a tenth of a percent does not repaint).
    int PaintCount() const;

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

  private:
    struct PercentBarData;

    // Handles one PBX_* message; returns true when it was one.
    bool HandleMessage(int message, std::uint32_t value, std::intptr_t& result);
    // Repaints synchronously (the invalidate-then-update of the message rules).
    void RepaintNow();
    // Draws the whole bar into the record's off-screen buffer.
    void Paint();

    std::unique_ptr<PercentBarData> data_;
};
