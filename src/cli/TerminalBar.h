// The progress bar the headless commands draw on the terminal: one line, redrawn in
// place, only when standard output is a terminal (a log or a pipe gets the results
// only).
#pragma once

#include <string>

namespace cli {

class TerminalBar {
  public:
    TerminalBar();
    // Draws "  <label> [#####-----]  42.0%<suffix>" for `done` of `total`; nothing
    // when nothing visible changed since the last draw.
    void Draw(const std::string& label, unsigned long long done, unsigned long long total,
              const std::string& suffix = "");
    // Wipes the bar's line so the next output starts on a clean line.
    void Clear();

  private:
    const bool tty_;
    bool shown_ = false;
    std::string last_;
};

}  // namespace cli
