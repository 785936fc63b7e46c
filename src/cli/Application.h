// The application object a command's event loop needs.
#pragma once

#include <QCoreApplication>
#include <memory>

namespace cli {

// Null when an application object exists (the program's own), else one made for the
// caller to keep while its event loop runs (a command run in-process).
std::unique_ptr<QCoreApplication> ApplicationIfNone();

}  // namespace cli
