// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "hpi/HpiWriter.h"
#include "support/TempDir.h"

namespace kelmora::testing {

// A whole archive holding one file whose content is `label`, padded with the label's bytes to
// `size` beyond what its directory names (as the game's own archive is padded): the same bytes for
// the same arguments, and what the control panel takes for an archive it may restore from.
inline std::string LabelledArchive(const std::string& label, std::size_t size = 0) {
    static std::map<std::pair<std::string, std::size_t>, std::string> made;
    std::string& bytes = made[{label, size}];
    if (bytes.empty()) {
        HpiWriter writer;
        writer.AddFileFromMemory("label.txt", label);
        TempDir scratch;
        writer.Write(scratch / "archive");
        bytes = ReadFile(scratch / "archive");
        while (bytes.size() < size) bytes += label;
        if (size > 0) bytes.resize(size);
    }
    return bytes;
}

// A game folder as the installation leaves it: the patched rev31.gp3 and the game's own archive
// kept in "Orv_Backup".
class GameFolder {
public:
    GameFolder() {
        WriteFile(gameArchive(), LabelledArchive("patched"));
        WriteFile(backupArchive(), LabelledArchive("original"));
    }

    std::string folderText() const { return HostText(dir_.path()); }
    std::filesystem::path gameArchive() const { return dir_ / "rev31.gp3"; }
    std::filesystem::path backupFolder() const { return dir_ / "Orv_Backup"; }
    std::filesystem::path backupArchive() const { return backupFolder() / "rev31.gp3"; }
    std::filesystem::path parkedArchive() const { return backupFolder() / "rev31.mod"; }

    // The patch disabled, made by hand so that a test of one action does not rest on another.
    void MakeDisabled() const {
        WriteFile(parkedArchive(), LabelledArchive("patched"));
        WriteFile(gameArchive(), LabelledArchive("original"));
    }

    // Which archive a file is: "patched", "original", "-" when absent, or "other".
    static std::string Label(const std::filesystem::path& path) {
        if (!std::filesystem::exists(path)) return "-";
        const std::string content = ReadFile(path);
        for (const char* label : {"patched", "original"}) {
            if (content == LabelledArchive(label)) return label;
        }
        return "other";
    }

    // The archives rev31.gp3, Orv_Backup/rev31.gp3 and Orv_Backup/rev31.mod are.
    std::string State() const {
        return Label(gameArchive()) + "|" + Label(backupArchive()) + "|" + Label(parkedArchive());
    }

private:
    TempDir dir_;
};

}  // namespace kelmora::testing
