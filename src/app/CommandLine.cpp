#include "app/CommandLine.h"

#include <cstdio>

namespace plim {

int runCommandLine(int, char**) {
    std::fputs("plim: not built yet\n", stderr);
    return 2;
}

} // namespace plim
