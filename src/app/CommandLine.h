#pragma once

#include <optional>
#include <string>
#include <vector>

// The program's own command-line options. Without them the program opens its windows; Qt's own
// options pass through untouched.
namespace kelmora {

struct CommandLine {
    enum class Mode { kWindows, kHelp, kUnattended, kDemo };
    Mode mode = Mode::kWindows;
    std::optional<std::string> gameDir;
    std::optional<std::string> packageDir;
    std::optional<std::string> action;
    std::optional<std::string> demoDir;
};

// Raised for a command line the program cannot run; its text says what was wrong.
struct UsageError {
    std::string text;
};

// Reads the arguments after the program's name. Raises UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText();

// Carries out the program's own options: returns the exit status when they were the whole run,
// nothing when the windows are to open (after the demo mode has set up their sandbox).
std::optional<int> RunCommandLine(int argc, char** argv);

}  // namespace kelmora
