// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace kelmora::testing {

// A game folder as the installation leaves it: the patched rev31.gp3 and the game's own archive
// kept in "Orv_Backup".
class GameFolder {
public:
    GameFolder() {
        WriteFile(gameArchive(), "patched");
        WriteFile(backupArchive(), "original");
    }

    std::string folderText() const { return HostText(dir_.path()); }
    std::filesystem::path gameArchive() const { return dir_ / "rev31.gp3"; }
    std::filesystem::path backupFolder() const { return dir_ / "Orv_Backup"; }
    std::filesystem::path backupArchive() const { return backupFolder() / "rev31.gp3"; }
    std::filesystem::path parkedArchive() const { return backupFolder() / "rev31.mod"; }

    // The patch disabled, made by hand so that a test of one action does not rest on another.
    void MakeDisabled() const {
        WriteFile(parkedArchive(), "patched");
        WriteFile(gameArchive(), "original");
    }

    // The contents of rev31.gp3, Orv_Backup/rev31.gp3 and Orv_Backup/rev31.mod ("-": absent).
    std::string State() const {
        auto content = [](const std::filesystem::path& path) {
            return std::filesystem::exists(path) ? ReadFile(path) : std::string("-");
        };
        return content(gameArchive()) + "|" + content(backupArchive()) + "|" +
               content(parkedArchive());
    }

private:
    TempDir dir_;
};

}  // namespace kelmora::testing
