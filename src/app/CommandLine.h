// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// The program's own command-line options. Without them the program opens its windows, handing
// Qt's own options (-platform, -style, ...) to Qt.
namespace kelmora {

struct CommandLine {
    enum class Mode { kWindows, kHelp, kVersion, kUnattended, kDemo, kFindGame };
    Mode mode = Mode::kWindows;
    std::optional<std::string> gameDir;
    std::optional<std::string> packageDir;
    std::optional<std::string> action;
    std::optional<std::string> demoDir;
    // For the windows: KELMORA.UFO (or the folder holding it), whose folder is the package folder.
    std::optional<std::string> packageFile;
    std::vector<std::string> qtOptions;  // in the order given, each with its value
};

// Raised for a command line the program cannot run; its text names what was wrong.
struct UsageError {
    std::string text;
};

// Reads the arguments after the program's name (UTF-8 texts). Raises UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText();

// What the program does once its own options are carried out: end with a status, or open the
// windows with Qt's options.
struct ProgramStart {
    std::optional<int> exitStatus;
    std::vector<std::string> qtOptions;
    // The folder of the package file given, as a folder text.
    std::optional<std::string> packageFolder;
};

// Carries out the command line `arguments` (after the program's name): the options that are the
// whole run, the demo sandbox the windows then open on, and the checks before the windows open.
ProgramStart RunCommandLine(const std::vector<std::string>& arguments);

// Why the windows cannot open: no X11 or Wayland display for a Qt platform that needs one
// (`qtOptions`' -platform, else $QT_QPA_PLATFORM, else Qt's default). Nothing when they can, and
// always nothing on Windows.
std::optional<std::string> MissingDisplay(const std::vector<std::string>& qtOptions);

}  // namespace kelmora
