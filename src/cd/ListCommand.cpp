#include <cstdio>

#include "app/Commands.h"

int RunListCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "trackmill: --list is not available yet\n");
    return 2;
}
