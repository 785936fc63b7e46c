#include <cstdio>

#include "app/Commands.h"

int RunRipCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "trackmill: --rip is not available yet\n");
    return 2;
}
