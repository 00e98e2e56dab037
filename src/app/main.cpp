#include "app/cli/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

// The resident program is a module of its own, loaded only to run it: a command on the notes file
// neither loads nor links the desktop's libraries, which would take most of its time.
int runResidentModule(int argc, char** argv) {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<size_t>(n) : 0);
    path = path.substr(0, path.rfind('/') + 1) + PLIM_RESIDENT_FROM_BINDIR "/plim-resident.so";
    void* module = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "plim: cannot load the resident program: %s\n", ::dlerror());
        return 1;
    }
    using Run = int (*)(int, char**);
    const auto run = reinterpret_cast<Run>(::dlsym(module, "plim_run_resident"));
    if (run == nullptr) {
        std::fprintf(stderr, "plim: cannot load the resident program: %s\n", ::dlerror());
        return 1;
    }
    return run(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
    // The resident program is started by plim itself, never by hand.
    if (argc == 2 && std::strcmp(argv[1], "--resident") == 0) {
        return runResidentModule(argc, argv);
    }
    return plim::runCommandLine(argc, argv);
}
