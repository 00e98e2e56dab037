#include "app/ResidentProgram.h"

// The one entry of the resident program's module (loaded by the executable for `plim --resident`).
extern "C" __attribute__((visibility("default"))) int plim_run_resident(int argc, char** argv) {
    return plim::runResident(argc, argv);
}
