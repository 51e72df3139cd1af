#include "app/CommandLine.h"

#include <cstdio>
#include <exception>

#include "app/DemoSandbox.h"
#include "app/Unattended.h"

namespace kelmora {

namespace {

constexpr int kUsageErrorStatus = 2;
constexpr int kFailureStatus = 1;

bool IsOption(const std::string& argument) {
    return argument.starts_with("-");
}

void SetMode(CommandLine& line, CommandLine::Mode mode, const std::string& option) {
    if (line.mode != CommandLine::Mode::kWindows && line.mode != mode) {
        throw UsageError{option + " cannot be combined with the other mode given"};
    }
    line.mode = mode;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool unattendedOptionSeen = false;
    std::vector<std::string> unknown;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= arguments.size() || IsOption(arguments[i + 1])) {
                throw UsageError{argument + " needs a value"};
            }
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            SetMode(line, CommandLine::Mode::kHelp, argument);
        } else if (argument == "--unattended") {
            SetMode(line, CommandLine::Mode::kUnattended, argument);
        } else if (argument == "--demo") {
            SetMode(line, CommandLine::Mode::kDemo, argument);
            if (i + 1 < arguments.size() && !IsOption(arguments[i + 1]))
                line.demoDir = arguments[++i];
        } else if (argument == "--game-dir") {
            line.gameDir = value();
            unattendedOptionSeen = true;
        } else if (argument == "--package-dir") {
            line.packageDir = value();
            unattendedOptionSeen = true;
        } else if (argument == "--action") {
            line.action = value();
            unattendedOptionSeen = true;
            if (*line.action != "install" && *line.action != "uninstall" &&
                *line.action != "disable" && *line.action != "enable") {
                throw UsageError{"unknown action '" + *line.action +
                                 "' (install, uninstall, disable or enable)"};
            }
        } else {
            // The windows leave what they do not know to Qt (-platform, -style, ...).
            unknown.push_back(argument);
        }
    }
    if (line.mode == CommandLine::Mode::kUnattended && !unknown.empty()) {
        throw UsageError{"unknown argument '" + unknown.front() + "'"};
    }
    if (unattendedOptionSeen && line.mode != CommandLine::Mode::kUnattended &&
        line.mode != CommandLine::Mode::kHelp) {
        throw UsageError{"--game-dir, --package-dir and --action need --unattended"};
    }
    return line;
}

std::string UsageText() {
    return R"(Usage:
  kelmora-installer
      Opens the installer on the game folder the registry names (the Wine prefix's
      system.reg under $WINEPREFIX, default ~/.wine) and on the current folder as
      the folder holding KELMORA.UFO. When the patch is installed already, it
      opens the control panel instead.

  kelmora-installer --unattended [--game-dir DIR] [--package-dir DIR] [--action ACTION]
      Does the same without windows, for scripts and terminals:
        --game-dir DIR     the game folder (default: the one the registry names)
        --package-dir DIR  the folder holding KELMORA.UFO (default: the current folder)
        --action ACTION    install, uninstall, disable or enable
      A game folder without an Orv_Backup folder is installed into (the default
      action); it needs totala1.hpi, ccdata.ccx, rev31.gp3 and KELMORA.UFO. A game
      folder with Orv_Backup has the patch installed: choose uninstall, disable
      (while the patch is on) or enable (while it is disabled).
      Every question is answered Yes. Each message is printed to standard output,
      its title on one line and its text below; progress goes to standard error.
      Exit status: 0 success, 1 failure (files missing, version conflict, errors
      during the installation, an action refused or failed), 2 a usage error.

  kelmora-installer --demo [DIR]
      Builds a demo game folder with a Wine-style prefix and a demo KELMORA.UFO in
      DIR (default: a new temporary folder) and opens the installer on it. Run it
      again with the same DIR to see the control panel.

  kelmora-installer --help
      Prints this text.
)";
}

std::optional<int> RunCommandLine(int argc, char** argv) {
    CommandLine line;
    try {
        line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "kelmora-installer: %s\n%s", error.text.c_str(), UsageText().c_str());
        return kUsageErrorStatus;
    }
    switch (line.mode) {
        case CommandLine::Mode::kWindows:
            return std::nullopt;
        case CommandLine::Mode::kHelp:
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        case CommandLine::Mode::kUnattended:
            return RunUnattended(line);
        case CommandLine::Mode::kDemo:
            try {
                EnterDemoSandbox(line.demoDir);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "kelmora-installer: cannot build the demo: %s\n",
                             error.what());
                return kFailureStatus;
            }
            return std::nullopt;
    }
    return kUsageErrorStatus;
}

}  // namespace kelmora
