// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line with the fault seam armed to end the process at one operation:
//   kelmora-crash-driver KILL-AT[:SIGNAL] [program arguments...]
// KILL-AT is the 1-based operation at which the process is killed (SIGKILL, as a power cut or a
// task manager would end it); 0 runs to the end. With a signal number the process gets that signal
// there instead (SIGTERM as a shutdown, SIGHUP as a closed terminal). Everything else is the
// installer's own code.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "platform/Console.h"
#include "platform/FaultInjection.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = kelmora::ProgramArguments(argc, argv);
    if (arguments.empty()) return 2;
    char* signal = nullptr;
    const unsigned long long at = std::strtoull(arguments[0].c_str(), &signal, 10);
    if (at > 0 && *signal == ':')
        kelmora::faults::SignalAt(at, std::atoi(signal + 1));
    else if (at > 0)
        kelmora::faults::KillAt(at);
    return kelmora::RunCommandLine({arguments.begin() + 1, arguments.end()}).exitStatus.value_or(2);
}
