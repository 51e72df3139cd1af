// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "core/PanelActions.h"
#include "platform/RuntimeError.h"
#include "support/GameFolder.h"
#include "support/ScriptedMessageBox.h"
#include "support/TempDir.h"

// The control panel's actions run as the panel runs them, and the states of a game folder with
// the patch installed, told by name.
namespace kelmora::reliability {

struct PanelArchives {
    std::string original;
    std::string patched;
};

// rev31.gp3 | Orv_Backup/rev31.gp3 | Orv_Backup/rev31.mod, each "original", "patched", "-" when
// absent or "other"; without a backup folder, rev31.gp3 | "no backup folder".
inline std::string PanelState(const std::filesystem::path& game, const PanelArchives& archives) {
    auto name = [&](const std::filesystem::path& path) -> std::string {
        if (!std::filesystem::exists(path)) return "-";
        const std::string content = testing::ReadFile(path);
        return content == archives.original  ? "original"
               : content == archives.patched ? "patched"
                                             : "other";
    };
    if (!std::filesystem::exists(game / "Orv_Backup"))
        return name(game / "rev31.gp3") + "|no backup folder";
    return name(game / "rev31.gp3") + "|" + name(game / "Orv_Backup" / "rev31.gp3") + "|" +
           name(game / "Orv_Backup" / "rev31.mod");
}

inline const std::string kEnabled = "patched|original|-";
inline const std::string kDisabled = "original|original|patched";
inline const std::string kRemoved = "original|no backup folder";

// A state in which the original's bytes are kept and rev31.gp3 is a whole archive: what a failed
// flush may leave once the rename before it has happened.
inline bool Safe(const std::string& state) {
    const std::string game = state.substr(0, state.find('|'));
    return game == "original" ||
           (game == "patched" && state.find("|original|") != std::string::npos);
}

inline void MakeGameFolder(const std::filesystem::path& game, bool disabled,
                           const PanelArchives& archives) {
    testing::WriteFile(game / "rev31.gp3", disabled ? archives.original : archives.patched);
    testing::WriteFile(game / "Orv_Backup" / "rev31.gp3", archives.original);
    if (disabled) testing::WriteFile(game / "Orv_Backup" / "rev31.mod", archives.patched);
}

struct ActionResult {
    bool success = false;  // the success message was shown
    std::string leftover;  // the folder an uninstall reported it could not delete
    int error = 0;         // the run-time error that stopped the action
};

inline ActionResult RunAction(PanelAction action, const std::filesystem::path& game) {
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    ActionResult result;
    try {
        RunPanelAction(action, game.string(), messages);
    } catch (const ProgramEnded& end) {
        const Message& last = messages.shown.back();
        result.success = end.status == 0 && last.icon == MsgIcon::kNone;
        const std::string where = "this is left of it:\r\r";
        if (const size_t at = last.text.find(where); at != std::string::npos) {
            const size_t from = at + where.size();
            result.leftover = last.text.substr(from, last.text.find('\r', from) - from);
        }
    } catch (const RuntimeError& error) {
        result.error = error.number();
    }
    return result;
}

}  // namespace kelmora::reliability
