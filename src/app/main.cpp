#include "app/TrackmillApp.h"

int main(int argc, char** argv) {
    TrackmillApp app;
    return app.Run(argc, argv);
}
