// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line with the fault seam armed to end the process at one operation:
//   kelmora-crash-driver KILL-AT [program arguments...]
// KILL-AT is the 1-based operation at which the process is killed (SIGKILL, as a power cut or a
// task manager would end it); 0 runs to the end. Everything else is the installer's own code.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "platform/Console.h"
#include "platform/FaultInjection.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = kelmora::ProgramArguments(argc, argv);
    if (arguments.empty()) return 2;
    const unsigned long long at = std::strtoull(arguments[0].c_str(), nullptr, 10);
    if (at > 0) kelmora::faults::KillAt(at);
    return kelmora::RunCommandLine({arguments.begin() + 1, arguments.end()}).exitStatus.value_or(2);
}
