#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"

// The program built without windows: only its own command-line modes run.
int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const kelmora::ProgramStart start = kelmora::RunCommandLine(arguments);
    if (start.exitStatus) return *start.exitStatus;
    std::fputs(
        "kelmora-installer: this build has no windows; without windows: kelmora-installer "
        "--unattended (see --help)\n",
        stderr);
    return 1;
}
