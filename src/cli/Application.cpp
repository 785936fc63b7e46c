#include "cli/Application.h"

namespace cli {

std::unique_ptr<QCoreApplication> ApplicationIfNone() {
    if (QCoreApplication::instance()) return nullptr;
    // The application keeps references to these for its whole life.
    static int argc = 1;
    static char name[] = "trackmill";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace cli
