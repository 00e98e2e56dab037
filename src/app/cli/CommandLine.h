#pragma once

namespace plim {

// Runs `plim COMMAND ...`; returns the process exit status.
int runCommandLine(int argc, char** argv);

} // namespace plim
