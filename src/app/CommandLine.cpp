// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string_view>

#include "app/DemoSandbox.h"
#include "app/Unattended.h"
#include "core/GameFolderLookup.h"
#include "platform/Console.h"
#include "platform/PathMapping.h"

#ifdef KELMORA_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace kelmora {

namespace {

constexpr int kSuccessStatus = 0;
constexpr int kFailureStatus = 1;
constexpr int kUsageErrorStatus = 2;

// Qt's own options (QGuiApplication's, QApplication's and X11's -display), which the windows
// hand on to Qt: those followed by a value, those without one, and those joined to theirs by "=".
constexpr std::string_view kQtOptionsWithValue[] = {
    "-platform",        "-platformpluginpath", "-platformtheme", "-plugin",
    "-qwindowgeometry", "-qwindowicon",        "-qwindowtitle",  "-session",
    "-style",           "-stylesheet",         "-display",       "-geometry"};
constexpr std::string_view kQtFlags[] = {"-reverse", "-widgetcount"};
constexpr std::string_view kQtJoinedOptions[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};

bool IsAnyOf(std::string_view argument, const auto& names) {
    return std::find(std::begin(names), std::end(names), argument) != std::end(names);
}

bool StartsWithAnyOf(std::string_view argument, const auto& prefixes) {
    return std::any_of(
        std::begin(prefixes), std::end(prefixes),
        [argument](std::string_view prefix) { return argument.starts_with(prefix); });
}

// Qt's options among the arguments the program's own options left; other arguments that do not
// start with a dash go to `operands`, and any other option is an error.
std::vector<std::string> QtOptions(const std::vector<std::string>& left,
                                   std::vector<std::string>& operands) {
    std::vector<std::string> options;
    for (size_t i = 0; i < left.size(); ++i) {
        const std::string& argument = left[i];
        if (IsAnyOf(argument, kQtOptionsWithValue)) {
            if (i + 1 == left.size()) throw UsageError{argument + " needs a value"};
            options.push_back(argument);
            options.push_back(left[++i]);
        } else if (IsAnyOf(argument, kQtFlags) || StartsWithAnyOf(argument, kQtJoinedOptions)) {
            options.push_back(argument);
        } else if (argument.starts_with("-")) {
            throw UsageError{"unknown option '" + argument + "'"};
        } else {
            operands.push_back(argument);
        }
    }
    return options;
}

// The parser's report of a bad command line, in this program's words.
std::string InOwnWords(const CLI::ParseError& error) {
    std::string text = error.what();
    const auto replaced = [&text](std::string_view what, std::string_view by) {
        const size_t at = text.find(what);
        return at == std::string::npos ? text : text.replace(at, what.size(), by);
    };
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        // "--game-dir: 1 required DIR missing", "unattended was given a disallowed flag override"
        if (text.ends_with("flag override"))
            return "--" + text.substr(0, text.find(' ')) + " takes no value";
        return text.substr(0, text.find(':')) + " needs a value";
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&error))
        return replaced(" excludes ", " cannot be used with ");
    if (dynamic_cast<const CLI::RequiresError*>(&error))
        return replaced(" requires ", " works only with ");
    return text;
}

CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](const std::string& value) { return value.empty() ? "an empty folder name" : ""; }, "");
}

CLI::Validator KnownAction() {
    return CLI::Validator(
        [](const std::string& value) -> std::string {
            if (value == "install" || value == "uninstall" || value == "disable" ||
                value == "enable")
                return {};
            return "unknown action '" + value + "' (install, uninstall, disable or enable)";
        },
        "");
}

// The options that choose what the program does; the others hold values.
struct OwnOptions {
    CLI::Option* version;
    CLI::Option* unattended;
    CLI::Option* demo;
    CLI::Option* findGame;
};

OwnOptions AddOwnOptions(CLI::App& app, CommandLine& line) {
    const OwnOptions options{
        app.add_flag("--version")->disable_flag_override(),
        app.add_flag("--unattended")->disable_flag_override(),
        app.add_option("--demo", line.demoDir)->expected(0, 1)->type_name("DIR"),
        app.add_flag("--find-game")->disable_flag_override(),
    };
    for (auto [name, value] :
         {std::pair{"--game-dir", &line.gameDir}, std::pair{"--package-dir", &line.packageDir}}) {
        app.add_option(name, *value)
            ->type_name("DIR")
            ->check(NotEmpty())
            ->needs(options.unattended);
    }
    app.add_option("--action", line.action)
        ->type_name("ACTION")
        ->check(KnownAction())
        ->needs(options.unattended);
    options.unattended->excludes(options.demo)->excludes(options.findGame);
    options.demo->excludes(options.findGame);
    for (CLI::Option* option : app.get_options())
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    return options;
}

CommandLine::Mode ModeOf(const OwnOptions& options) {
    if (options.version->count() > 0) return CommandLine::Mode::kVersion;
    if (options.unattended->count() > 0) return CommandLine::Mode::kUnattended;
    if (options.demo->count() > 0) return CommandLine::Mode::kDemo;
    if (options.findGame->count() > 0) return CommandLine::Mode::kFindGame;
    return CommandLine::Mode::kWindows;
}

// Lists the game folders the search finds, each with its Wine prefix ("-" for none).
int ListGameFolders() {
    const GameFolderSearch search = SearchForGameFolders();
    for (const FoundGameFolder& found : search.folders) {
        WriteText(stdout, found.folder.string() + "\t" +
                              (found.prefix ? found.prefix->string() : "-") + "\n");
    }
    if (search.cutShort) {
        WriteText(stderr,
                  "kelmora-installer: the search stopped at its limit; some folders were not "
                  "searched\n");
    }
    if (!search.folders.empty()) return kSuccessStatus;
    WriteText(stderr,
              "kelmora-installer: no folder holding totala1.hpi, ccdata.ccx and rev31.gp3 in the "
              "Wine prefixes, the Steam libraries or ~/Games\n");
    return kFailureStatus;
}

// The folder of the package file `given` (a folder stands for itself), as a folder text; nothing,
// after saying why, when there is no such file. A file of another name is taken too, with a word
// on what the installer looks for there.
std::optional<std::string> PackageFolderOf(const std::string& given) {
    const std::filesystem::path path(std::u8string(given.begin(), given.end()));
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) return FullPathText(given);
    if (!std::filesystem::is_regular_file(status)) {
        WriteText(stderr, "kelmora-installer: there is no file " + given + "\n");
        return std::nullopt;
    }
    const std::u8string name = path.filename().u8string();
    if (!EqualNoCase(std::string(name.begin(), name.end()), "KELMORA.UFO"))
        WriteText(stderr, "kelmora-installer: the installer takes KELMORA.UFO in the folder of " +
                              given + "\n");
    const std::u8string folder = std::filesystem::absolute(path, error).parent_path().u8string();
    return FullPathText(std::string(folder.begin(), folder.end()));
}

#ifndef _WIN32
std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Qt tries the platforms of a ';'-separated list in turn, each with optional ":options"; of
// those Linux desktops use, xcb and wayland need a display, and Qt's default is one of them.
bool NeedsDisplay(std::string_view platforms) {
    if (platforms.empty()) return true;
    while (!platforms.empty()) {
        const std::string_view entry = platforms.substr(0, platforms.find(';'));
        const std::string_view name = entry.substr(0, entry.find(':'));
        if (!name.empty() && name != "xcb" && !name.starts_with("wayland")) return false;
        platforms.remove_prefix(std::min(platforms.size(), entry.size() + 1));
    }
    return true;
}

// Whether Qt opens its windows on X11: xcb comes first among the platforms asked for, or none is
// asked for and there is no Wayland display to prefer.
bool UsesX11(std::string_view platforms, bool wayland) {
    if (platforms.empty()) return !wayland;
    return platforms.substr(0, platforms.find_first_of(";:")) == "xcb";
}

bool X11DisplayOpens([[maybe_unused]] const std::string& display) {
#ifdef KELMORA_HAVE_XCB
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
#else
    return true;
#endif
}
#endif

// The program ends with `status` once its own options are carried out.
ProgramStart EndWith(int status) {
    return {status, {}, {}};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    // After "--" every argument is an operand, even one that starts with a dash.
    const auto end = std::find(arguments.begin(), arguments.end(), "--");
    std::vector<std::string> operands;
    if (end != arguments.end()) operands.assign(end + 1, arguments.end());

    CommandLine line;
    CLI::App app("", "kelmora-installer");
    app.allow_windows_style_options(false);  // "/x" is a folder on every platform
    app.allow_extras();                      // Qt's options, sorted out below
    app.set_help_flag("-h,--help");
    const OwnOptions options = AddOwnOptions(app, line);
    std::vector<std::string> reversed(arguments.begin(), end);
    std::reverse(reversed.begin(), reversed.end());  // the order CLI11 takes a vector in
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        line.mode = CommandLine::Mode::kHelp;
        return line;
    } catch (const CLI::ParseError& error) {
        throw UsageError{InOwnWords(error)};
    }
    line.mode = ModeOf(options);
    if (line.demoDir && line.demoDir->empty()) line.demoDir.reset();  // --demo without its DIR
    std::vector<std::string> leading;
    line.qtOptions = QtOptions(app.remaining(), leading);
    operands.insert(operands.begin(), leading.begin(), leading.end());
    // Only the windows take a package file, and only one.
    const size_t allowed = line.mode == CommandLine::Mode::kWindows ? 1 : 0;
    if (operands.size() > allowed)
        throw UsageError{"unexpected argument '" + operands[allowed] + "'"};
    if (!operands.empty()) line.packageFile = operands.front();
    if (!line.qtOptions.empty() && line.mode != CommandLine::Mode::kWindows &&
        line.mode != CommandLine::Mode::kDemo) {
        throw UsageError{"Qt's option " + line.qtOptions.front() + " is for the windows only"};
    }
    return line;
}

std::string UsageText() {
    return R"(Usage:
  kelmora-installer [QT-OPTION...] [FILE]
      Opens the installer on the game folder the registry names and on the
      folder of FILE (KELMORA.UFO) as the folder holding KELMORA.UFO; without
      FILE, on the current folder, or when that lacks KELMORA.UFO and the
      download folder holds it, on the download folder. When the patch is
      installed already, it opens the control panel instead. The registry is
      that of the Wine prefix $WINEPREFIX; when that is not set, of the first of
      ~/.wine and the prefixes of Steam (Proton), Lutris, Heroic and Bottles
      that names the game. Qt's own options (-platform NAME, -style NAME, ...)
      are handed to Qt.

  kelmora-installer --unattended [--game-dir DIR] [--package-dir DIR] [--action ACTION]
      Does the same without windows, for scripts and terminals:
        --game-dir DIR     the game folder (default: the one the registry names,
                           else the only one --find-game finds)
        --package-dir DIR  the folder holding KELMORA.UFO (default: the current folder)
        --action ACTION    install, uninstall, disable or enable
      A game folder without an Orv_Backup folder is installed into (the default
      action); it needs totala1.hpi, ccdata.ccx, rev31.gp3 and KELMORA.UFO. A game
      folder with Orv_Backup has the patch installed: choose uninstall, disable
      (while the patch is on) or enable (while it is disabled).
      Every question is answered Yes. Each message is printed to standard output,
      its title on one line and its text below; progress and errors go to
      standard error. Exit status: 0 success, 1 failure (no game folder, files
      missing, version conflict, errors during the installation, an action
      refused or failed), 2 a usage error.

  kelmora-installer --demo [DIR]
      Builds a demo game folder with a Wine-style prefix and a demo KELMORA.UFO in
      DIR (default: a new temporary folder) and opens the installer on it. Run it
      again with the same DIR to see the control panel.

  kelmora-installer --find-game
      Lists the folders holding the game's three files in the Wine prefixes, the
      Steam libraries and ~/Games, one a line, each with the Wine prefix it
      belongs to ("-" for none) after a tab. Exit status 1 when there is none.

  kelmora-installer --help | --version
      Prints this text, or the program's version.

An option's value follows it (--game-dir DIR) or an equals sign (--game-dir=DIR);
--demo takes its DIR only with the equals sign when DIR starts with "-".
)";
}

ProgramStart RunCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    try {
        line = ParseCommandLine(arguments);
    } catch (const UsageError& error) {
        WriteText(stderr,
                  "kelmora-installer: " + error.text + "\nTry 'kelmora-installer --help'.\n");
        return EndWith(kUsageErrorStatus);
    }
    switch (line.mode) {
        case CommandLine::Mode::kHelp:
            WriteText(stdout, UsageText());
            return EndWith(kSuccessStatus);
        case CommandLine::Mode::kVersion:
            WriteText(stdout, "kelmora-installer " KELMORA_VERSION "\n");
            return EndWith(kSuccessStatus);
        case CommandLine::Mode::kUnattended:
            return EndWith(RunUnattended(line));
        case CommandLine::Mode::kFindGame:
            return EndWith(ListGameFolders());
        case CommandLine::Mode::kDemo:
        case CommandLine::Mode::kWindows:
            break;
    }
    if (std::optional<std::string> why = MissingDisplay(line.qtOptions)) {
        WriteText(stderr, "kelmora-installer: " + *why + "\n");
        return EndWith(kFailureStatus);
    }
    std::optional<std::string> packageFolder;
    if (line.packageFile) {
        packageFolder = PackageFolderOf(*line.packageFile);
        if (!packageFolder) return EndWith(kFailureStatus);
    }
    if (line.mode == CommandLine::Mode::kDemo) {
        try {
            EnterDemoSandbox(line.demoDir);
        } catch (const std::exception& error) {
            WriteText(stderr, std::string("kelmora-installer: cannot build the demo: ") +
                                  error.what() + "\n");
            return EndWith(kFailureStatus);
        }
    }
    ChooseGamePrefix();
    return {std::nullopt, line.qtOptions, packageFolder};
}

std::optional<std::string> MissingDisplay(
    [[maybe_unused]] const std::vector<std::string>& qtOptions) {
#ifdef _WIN32
    return std::nullopt;
#else
    std::string platforms = Environment("QT_QPA_PLATFORM");
    std::string display = Environment("DISPLAY");
    for (size_t i = 0; i + 1 < qtOptions.size(); ++i) {
        if (qtOptions[i] == "-platform") platforms = qtOptions[i + 1];
        if (qtOptions[i] == "-display") display = qtOptions[i + 1];
    }
    if (!NeedsDisplay(platforms)) return std::nullopt;
    const bool wayland = !Environment("WAYLAND_DISPLAY").empty();
    const std::string withoutWindows =
        "; without windows: kelmora-installer --unattended (see --help)";
    if (display.empty() && !wayland)
        return "no display to open the windows on (neither DISPLAY nor WAYLAND_DISPLAY is set)" +
               withoutWindows;
    // Qt ends the program with an abort and a page of advice when its X11 display does not
    // open (a stale display over ssh, a display of another user's under sudo).
    if (!display.empty() && UsesX11(platforms, wayland) && !X11DisplayOpens(display))
        return "cannot open the display " + display + withoutWindows;
    return std::nullopt;
#endif
}

}  // namespace kelmora
