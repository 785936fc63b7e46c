// Ctrl+C for the headless commands: while an InterruptGuard lives, SIGINT, SIGTERM and
// SIGHUP only set a flag that the command's event loop polls, so a rip, a conversion
// or playing stops cleanly and leaves valid files behind.
#pragma once

namespace cli {

class InterruptGuard {
  public:
    // Clears the flag and installs the handler; the destructor puts the previous
    // handlers back.
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once one of the signals arrived (any thread may ask).
    static bool Requested();
};

}  // namespace cli
