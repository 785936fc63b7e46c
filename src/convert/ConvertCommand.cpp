#include <cstdio>

#include "app/Commands.h"

int RunConvertCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "trackmill: --convert is not available yet\n");
    return 2;
}
