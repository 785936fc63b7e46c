#include "cli/TerminalBar.h"

#include <unistd.h>

#include <cstdio>

namespace cli {

namespace {
constexpr int kWidth = 30;
}  // namespace

TerminalBar::TerminalBar() : tty_(isatty(STDOUT_FILENO) != 0) {}

void TerminalBar::Draw(const std::string& label, unsigned long long done, unsigned long long total,
                       const std::string& suffix) {
    if (!tty_) return;
    const unsigned long long perMille = total ? (done >= total ? 1000 : done * 1000 / total) : 0;
    std::string bar(kWidth, '-');
    for (unsigned long long i = 0; i < perMille * kWidth / 1000; ++i) bar[i] = '#';
    char text[160];
    std::snprintf(text, sizeof text, "  %-20s [%s] %5.1f%%%s", label.c_str(), bar.c_str(),
                  perMille / 10.0, suffix.c_str());
    if (shown_ && last_ == text) return;
    // Pad over a longer previous line.
    std::string line = text;
    if (last_.size() > line.size()) line.append(last_.size() - line.size(), ' ');
    last_ = text;
    shown_ = true;
    std::printf("\r%s", line.c_str());
    std::fflush(stdout);
}

void TerminalBar::Clear() {
    if (!tty_ || !shown_) return;
    std::printf("\r%*s\r", static_cast<int>(last_.size()), "");
    std::fflush(stdout);
    shown_ = false;
    last_.clear();
}

}  // namespace cli
