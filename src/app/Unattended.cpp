// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Unattended.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/GameFolderLookup.h"
#include "core/InstallDisplay.h"
#include "core/InterruptedInstall.h"
#include "core/MessageBox.h"
#include "core/PanelActions.h"
#include "core/PatchInstall.h"
#include "core/ProgramEnd.h"
#include "platform/Console.h"
#include "platform/FileSystemObject.h"
#include "platform/PathMapping.h"

namespace kelmora {

namespace {

constexpr int kSuccessStatus = 0;
constexpr int kFailureStatus = 1;

std::string WithLineBreaks(std::string text) {
    for (char& c : text) {
        if (c == '\r') c = '\n';
    }
    return text;
}

// Prints every message box to standard output, title first, and answers each question Yes.
class ConsoleMessageBox : public MessageBoxSeam {
public:
    MsgAnswer Show(const Message& message) override {
        WriteText(stdout, message.title + "\n" + WithLineBreaks(message.text) + "\n\n");
        if (message.icon == MsgIcon::kCritical) reportedFailure_ = true;
        return message.buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
    }

    // Whether a message with the stop icon was shown: a version conflict, an install that went
    // wrong, a refused action or a run-time error.
    bool reportedFailure() const { return reportedFailure_; }

private:
    bool reportedFailure_ = false;
};

// The windows end with status 0 whatever the outcome, as the user has read it; for a script the
// status says it: a run that showed a stop-icon message failed.
void EndWithStatusFrom(const ConsoleMessageBox& messages) {
    SetProgramEndHook([&messages](int status) {
        std::fflush(nullptr);
        std::_Exit(status != kSuccessStatus || messages.reportedFailure() ? kFailureStatus
                                                                          : kSuccessStatus);
    });
}

// Prints a line to standard error whenever the action or the percentage changes.
class ConsoleDisplay : public InstallDisplay {
public:
    void SetAction(const std::string& text) override { PrintOnChange(action_, text); }
    void SetPercentText(const std::string& text) override { PrintOnChange(percent_, text); }
    void SetBar(int) override {}
    void Repaint() override {}

private:
    static void PrintOnChange(std::string& shown, const std::string& text) {
        if (text == shown) return;
        shown = text;
        WriteText(stderr, text + "\n");
    }

    std::string action_;
    std::string percent_;
};

int Refuse(const std::string& why) {
    WriteText(stderr, "kelmora-installer: " + why + "\n");
    return kFailureStatus;
}

int Install(const std::string& gameFolder, const std::string& packageFolder,
            MessageBoxSeam& messages) {
    FileSystemObject fso;
    std::vector<std::string> missing;
    for (const char* file : {"\\totala1.hpi", "\\ccdata.ccx", "\\rev31.gp3"}) {
        if (!fso.FileExists(JoinPath(gameFolder, file)))
            missing.push_back(JoinPath(gameFolder, file));
    }
    if (!fso.FileExists(JoinPath(packageFolder, "\\KELMORA.UFO"))) {
        missing.push_back(JoinPath(packageFolder, "\\KELMORA.UFO"));
    }
    if (!missing.empty()) {
        std::string list;
        for (const std::string& path : missing) list += "\n  " + path;
        return Refuse("cannot install, these files are missing:" + list);
    }
    // The folders as named: the install shows them in lower case, as the windows do.
    InstallerState state{gameFolder, packageFolder};
    ConsoleDisplay display;
    try {
        InstallPatch(state, display, messages);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
    messages.Show(InstallOutcomeMessage(state));
    EndProgram(state.installFailed ? kFailureStatus : kSuccessStatus);
}

// The control panel's action `action` (none given: nothing) on an installed patch. An action the
// panel would not offer is refused, naming those it offers, with the status of any refusal.
int RunPanel(const std::optional<std::string>& action, const std::string& gameFolder,
             MessageBoxSeam& messages) {
    const bool parked = PanelOffersEnable(gameFolder);
    const std::string offered =
        std::string("; choose --action uninstall or ") + (parked ? "enable" : "disable");
    PanelAction panelAction = PanelAction::kUninstall;
    if (!action) {
        return Refuse("the patch is installed in " + gameFolder + offered);
    } else if (*action == "install") {
        return Refuse("the patch is installed in " + gameFolder + " already" + offered);
    } else if (*action == "disable" || *action == "enable") {
        if (parked != (*action == "enable"))
            return Refuse(std::string("the patch is ") + (parked ? "disabled" : "enabled") +
                          " already" + offered);
        panelAction = parked ? PanelAction::kEnable : PanelAction::kDisable;
    }
    try {
        RunPanelAction(panelAction, gameFolder, messages);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
    // The action returns only when it changed nothing: the file it needs is missing.
    return kFailureStatus;
}

// The game folder: --game-dir, else the one the registry names, else the only one the search
// finds (said on standard error). Nothing, said why, when there is none to use.
std::optional<std::string> GameFolderText(const CommandLine& line) {
    // Chosen also for --game-dir, whose drive letter ("C:\TA") is the game's prefix's.
    const std::vector<std::string> prefixesAsked = ChooseGamePrefix();
    if (line.gameDir) return *line.gameDir;
    if (std::string folder = ReadRegistryText(kGameUninstallKey, kGameFolderValue); !folder.empty())
        return folder;
    const GameFolderSearch search = SearchForGameFolders();
    if (search.folders.size() == 1) {
        const FoundGameFolder& found = search.folders.front();
        std::string note =
            "no registry names the game folder; using the one found: " + found.folder.string();
        if (found.prefix) note += " (Wine prefix " + found.prefix->string() + ")";
        WriteText(stderr, "kelmora-installer: " + note + "\n");
        return found.folder.string();
    }
    std::string why = "no registry names the game folder";
    for (const std::string& prefix : prefixesAsked) why += "\n  " + prefix;
    if (search.folders.empty()) {
        why += "\nand no folder holding the game's files was found; give it with --game-dir";
    } else {
        why += "\nand several folders hold the game's files; choose one with --game-dir:";
        for (const FoundGameFolder& found : search.folders) why += "\n  " + found.folder.string();
    }
    Refuse(why);
    return std::nullopt;
}

}  // namespace

int RunUnattended(const CommandLine& line) {
    static ConsoleMessageBox messages;
    SetCurrentMessageBox(&messages);
    EndWithStatusFrom(messages);
    const std::optional<std::string> gameDir = GameFolderText(line);
    if (!gameDir) return kFailureStatus;
    try {
        const std::string gameFolder = FullPathText(*gameDir);
        const std::string packageFolder =
            FullPathText(line.packageDir.value_or(CurrentFolderText()));
        const FileSystemObject fso;
        if (!fso.FolderExists(gameFolder))
            return Refuse("the game folder " + gameFolder + " does not exist");
        if (!fso.FolderExists(packageFolder))
            return Refuse("the package folder " + packageFolder + " does not exist");
        UndoInterruptedInstall(gameFolder, messages);
        if (!fso.FolderExists(JoinPath(gameFolder, "\\Orv_Backup"))) {
            if (line.action.value_or("install") != "install") {
                return Refuse("the patch is not installed in " + gameFolder + "; nothing to " +
                              *line.action);
            }
            return Install(gameFolder, packageFolder, messages);
        }
        return RunPanel(line.action, gameFolder, messages);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
}

}  // namespace kelmora
