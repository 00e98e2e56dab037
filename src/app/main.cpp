#include "app/CommandLine.h"
#include "app/ResidentProgram.h"

#include <cstring>

int main(int argc, char** argv) {
    // The resident program is started by plim itself, never by hand.
    if (argc == 2 && std::strcmp(argv[1], "--resident") == 0) {
        return plim::runResident(argc, argv);
    }
    return plim::runCommandLine(argc, argv);
}
