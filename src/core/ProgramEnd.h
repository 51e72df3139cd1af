// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "platform/RuntimeError.h"

// The program ends in exactly two ways: at once after its work (status 0, or 1 for a failure the
// unattended mode reports), or through the report of a run-time error that nothing trapped.
namespace kelmora {

// Ends the program at once: no further event or handler code runs.
[[noreturn]] void EndProgram(int status = 0);

// Shows "Run-time error '<number>':" CR CR <description>, then ": " and the path the error
// concerns where it names one, with the stop icon and the application title through the current
// message box; then ends the program with status 1.
[[noreturn]] void ReportUncaughtError(const RuntimeError& error);

// Test seam: while set, EndProgram calls the hook instead of ending the process. The hook must
// not return; tests throw ProgramEnded from it so the end unwinds to the test.
struct ProgramEnded {
    int status;
};
void SetProgramEndHook(std::function<void(int)> hook);

// While alive, EndProgram called on the thread that made it throws ProgramEnded instead of ending
// the program: a thread doing work for the windows unwinds, and the windows' thread, which waits
// for it, ends the program (there, a test's hook sees the end on the thread it runs on).
class ProgramEndUnwindsThisThread {
public:
    ProgramEndUnwindsThisThread();
    ~ProgramEndUnwindsThisThread();
    ProgramEndUnwindsThisThread(const ProgramEndUnwindsThisThread&) = delete;
    ProgramEndUnwindsThisThread& operator=(const ProgramEndUnwindsThisThread&) = delete;

private:
    bool previous_;
};

}  // namespace kelmora
