// Percent bar benchmark: the cost of a rip's progress messages.
//
// A 700 MB track reports progress in 27-frame blocks (about 11,000 PBX_DELTAPOS
// messages). The bar repaints only when the per-mille value changes. The peer, in
// the same run, is the same bar repainting after every message, as a bar without
// that rule would. Prints both times and their ratio (lower is better).
#include <QApplication>
#include <chrono>
#include <cstdio>

#include "controls/PercentBar.h"
#include "platform/WindowMessages.h"

namespace {

double RunMs(bool repaintEveryMessage) {
    QWidget dialog;
    dialog.resize(360, 60);
    auto* bar = new PercentBar(&dialog);
    bar->setGeometry(10, 10, 320, 22);
    dialog.show();
    QApplication::processEvents();
    bar->Initialize();
    const platform::WindowHandle h = platform::WindowHandleOf(bar);
    const std::uint32_t range = 700'000'000u;
    const std::uint32_t block = 27 * 2352;
    platform::SendMessage(h, core::PBX_SETRANGE, range);
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t done = 0; done < range; done += block) {
        platform::SendMessage(h, core::PBX_DELTAPOS, block);
        if (repaintEveryMessage) bar->repaint();
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RunMs(false);  // warm up fonts and caches
    const double perMille = RunMs(false);
    const double everyMessage = RunMs(true);
    std::printf(
        "percent bar, 700 MB in 27-frame blocks: per-mille repaint %.1f ms, "
        "repaint every message %.1f ms, ratio %.3f\n",
        perMille, everyMessage, perMille / everyMessage);
    return 0;
}
