#include "cli/TrackmillApp.h"
#include "convert/ConverterLibrary.h"

int main(int argc, char** argv) {
    // The converter's encoder module is bound once, before anything else runs, and
    // released when the program ends.
    convert::ConverterLibrary converter;
    converter.Bind();
    cli::TrackmillApp app(converter);
    return app.Run(argc, argv);
}
