// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "platform/Console.h"

// The program built without windows: only its own command-line modes run.
int main(int argc, char** argv) {
    return kelmora::RunReportingFailures("kelmora-installer", [&] {
        const kelmora::ProgramStart start =
            kelmora::RunCommandLine(kelmora::ProgramArguments(argc, argv));
        if (start.exitStatus) return *start.exitStatus;
        kelmora::WriteText(stderr,
                           "kelmora-installer: this build has no windows; without windows: "
                           "kelmora-installer --unattended (see --help)\n");
        return 1;
    });
}
