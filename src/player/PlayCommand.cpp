#include <cstdio>

#include "app/Commands.h"

int RunPlayCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "trackmill: --play is not available yet\n");
    return 2;
}
