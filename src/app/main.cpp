#include "app/CommandLine.h"

int main(int argc, char** argv) {
    return plim::runCommandLine(argc, argv);
}
