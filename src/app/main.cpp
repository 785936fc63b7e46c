#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--list") return RunListCommand(args);
        if (a == "--rip") return RunRipCommand(args);
        if (a == "--convert") return RunConvertCommand(args);
        if (a == "--play") return RunPlayCommand(args);
    }
    std::fprintf(stderr, "usage: trackmill --list|--rip|--convert|--play ...\n");
    return 2;
}
