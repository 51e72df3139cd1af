#include <cstdio>
#include <optional>

#include "app/CommandLine.h"

// The program built without windows: only its own command-line modes run.
int main(int argc, char** argv) {
    if (std::optional<int> status = kelmora::RunCommandLine(argc, argv)) return *status;
    std::fputs("kelmora-installer: this build has no windows; use --unattended (see --help)\n",
               stderr);
    return 2;
}
