#include "cli/TrackmillApp.h"
#include "convert/ConverterLibrary.h"

using namespace cli;
using namespace convert;

int main(int argc, char** argv) {
    // The converter's encoder module is bound once, before anything else runs, and
    // released when the program ends.
    BindConverterLibrary();
    TrackmillApp app;
    const int status = app.Run(argc, argv);
    ReleaseConverterLibrary();
    return status;
}
