// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The programs' command lines and terminals, the same on every platform: arguments arrive as
// UTF-8 texts, and UTF-8 text is written so that the terminal shows it.
namespace kelmora {

// The arguments after the program's name, as UTF-8 texts. On Windows they are read from the
// wide command line: argv holds them in the ANSI code page there, which cannot hold every name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Writes UTF-8 text to `stream` (stdout or stderr) and flushes it. A Windows console gets it as
// UTF-16, which it shows whatever its code page; anything else gets the bytes as they are.
// Returns false when the text could not be written.
bool WriteText(std::FILE* stream, std::string_view text);

// A Windows program of windows has no console of its own: when it was started from one, its
// standard output and error are sent there, except where they go to a file or a pipe already.
// Nothing elsewhere.
void UseParentConsole();

// Runs a program's body and returns its exit status. Nothing it throws ends the program
// otherwise: the exception is printed as "<program>: <what>" on standard error and the status
// is 1, the one every failure has.
int RunReportingFailures(std::string_view program, const std::function<int()>& body);

}  // namespace kelmora
