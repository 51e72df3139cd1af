// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hpi/HpiReader.h"
#include "support/GameSandbox.h"
#include "support/TempDir.h"

// What must hold after any run, however it failed or stopped: the game folder is as it was, or
// installed with a complete rev31.gp3 and an exact backup; the original's bytes always survive;
// nothing outside the game and package folders changes.
namespace kelmora::reliability {

namespace fs = std::filesystem;

// A folder tree: relative path -> file content, or "<folder>". The two big game files are
// compared by size, their content being zeros of our own making.
using Tree = std::map<std::string, std::string>;

// A whole file in one read (the byte-wise stream iterator is slow on archives of megabytes).
inline std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<size_t>(fs::file_size(file)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

inline Tree TreeOf(const fs::path& root) {
    Tree tree;
    std::error_code ec;
    if (!fs::exists(root, ec)) return tree;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string relative = fs::relative(it->path(), root).generic_string();
        if (it->is_directory()) {
            tree[relative] = "<folder>";
        } else if (const std::string name = it->path().filename().string();
                   name == "totala1.hpi" || name == "ccdata.ccx") {
            tree[relative] = "<size " + std::to_string(it->file_size()) + ">";
        } else {
            tree[relative] = ReadAll(it->path());
        }
    }
    return tree;
}

// The paths in which two trees differ, for messages.
inline std::string Difference(const Tree& before, const Tree& after) {
    std::string out;
    for (const auto& [path, content] : before) {
        auto found = after.find(path);
        if (found == after.end())
            out += " -" + path;
        else if (found->second != content)
            out += " ~" + path;
    }
    for (const auto& [path, content] : after) {
        if (!before.count(path)) out += " +" + path;
    }
    return out;
}

// Why `bytes` is not a complete, readable archive, or nothing.
inline std::optional<std::string> UnreadableArchive(const std::string& bytes) {
    try {
        HpiReader reader = HpiReader::FromMemory(bytes, "rev31.gp3");
        for (const HpiEntry& entry : reader.entries()) {
            if (!entry.directory) reader.ExtractToMemory(entry);
        }
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
}

// Why the archive `bytes` does not hold exactly `files` (paths without regard to case), or
// nothing.
inline std::optional<std::string> NotHolding(
    const std::string& bytes, const std::vector<std::pair<std::string, std::string>>& files) {
    try {
        HpiReader reader = HpiReader::FromMemory(bytes, "rev31.gp3");
        size_t count = 0;
        for (const HpiEntry& entry : reader.entries()) count += entry.directory ? 0 : 1;
        if (count != files.size()) return "it holds " + std::to_string(count) + " files";
        for (const auto& [path, content] : files) {
            const HpiEntry* entry = reader.Find(path);
            if (!entry) return path + " is missing";
            if (reader.ExtractToMemory(*entry) != content) return path + " holds other bytes";
        }
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
}

enum class InstallState { kAsBefore, kInstalled };

// The sandbox as it was before a run, and the checks of what a run left.
class InstallInvariant {
public:
    explicit InstallInvariant(const testing::GameSandbox& sandbox)
        : sandbox_(sandbox),
          game_(TreeOf(sandbox.gameFolder)),
          package_(TreeOf(sandbox.packageFolder)),
          outside_(Outside()),
          original_(ReadAll(sandbox.GameArchive())) {}

    // Empty when the run left an allowed state, else what is wrong. `killed`: the run was ended
    // from outside, so it may leave its work folder, a backup folder holding an exact copy of the
    // original and temporary files of its own. `reportedSuccess`: the outcome told success.
    std::string Check(bool killed, bool reportedSuccess, InstallState* state = nullptr) const {
        std::string problems;
        auto problem = [&](const std::string& text) {
            problems += (problems.empty() ? "" : "; ") + text;
        };
        if (Outside() != outside_)
            problem("something outside the game and package folders changed");

        const Tree game = TreeOf(sandbox_.gameFolder);
        const auto archive = game.find("rev31.gp3");
        const auto backup = game.find("Orv_Backup/rev31.gp3");
        if (archive == game.end()) {
            problem("rev31.gp3 is gone");
            return problems;
        }
        const bool original = archive->second == original_;
        if (state) *state = original ? InstallState::kAsBefore : InstallState::kInstalled;
        if (!original) {
            if (backup == game.end() || backup->second != original_) {
                problem("rev31.gp3 was replaced without an exact backup of the original");
            }
            if (reportedSuccess && !expected_.empty()) {
                if (auto why = NotHolding(archive->second, expected_))
                    problem("the outcome told success, but rev31.gp3 is not what was installed: " +
                            *why);
            }
            if (auto why = UnreadableArchive(archive->second))
                problem("rev31.gp3 is not a complete archive: " + *why);
        } else {
            if (reportedSuccess) problem("the outcome told success, but rev31.gp3 is the original");
            for (const auto& [path, content] : game) {
                if (game_.count(path) && game_.at(path) == content) continue;
                const bool workFolder = path.starts_with("Orv_Rev31");
                const bool exactBackup = path == "Orv_Backup" ||
                                         (path == "Orv_Backup/rev31.gp3" && content == original_);
                const bool temporary = path.find(".kelmora-") != std::string::npos;
                if (killed && (workFolder || exactBackup || temporary)) continue;
                problem("the game folder has " + path + " that the run left");
            }
            if (killed && game.count("Orv_Backup") && backup == game.end()) {
                problem(
                    "a backup folder without the backup: the next start offers only a control "
                    "panel with no way back");
            }
        }
        // In the installed state too, the game folder may only have gained the backup and the
        // work folder.
        if (!original) {
            for (const auto& [path, content] : game) {
                const bool ours = path.starts_with("Orv_Backup") || path.starts_with("Orv_Rev31");
                if (!game_.count(path) && !ours) problem("the game folder has a new " + path);
            }
        }
        for (const auto& [path, content] : game_) {
            if (!game.count(path))
                problem("the game folder lost " + path);
            else if (path != "rev31.gp3" && game.at(path) != content)
                problem(path + " changed");
        }
        // The package is kept whole by a run that did not install; an install may delete it.
        const Tree package = TreeOf(sandbox_.packageFolder);
        for (const auto& [path, content] : package) {
            if (!package_.count(path) || package_.at(path) != content) {
                if (!(killed && path.find(".kelmora-") != std::string::npos))
                    problem("the package folder has a changed or new " + path);
            }
        }
        if (original && package != package_ && !killed)
            problem("a run that did not install lost the package");
        return problems;
    }

    const std::string& original() const { return original_; }
    // The files an install that tells success must have put into rev31.gp3.
    void ExpectOnSuccess(std::vector<std::pair<std::string, std::string>> files) {
        expected_ = std::move(files);
    }

private:
    // Everything in the sandbox's root but the game and package folders.
    Tree Outside() const {
        Tree tree;
        for (const auto& entry : fs::directory_iterator(sandbox_.root.path())) {
            if (entry.path() == sandbox_.gameFolder || entry.path() == sandbox_.packageFolder)
                continue;
            const std::string name = entry.path().filename().string();
            tree[name] = entry.is_directory() ? "<folder>" : ReadAll(entry.path());
            for (const auto& [path, content] : TreeOf(entry.path()))
                tree[name + "/" + path] = content;
        }
        return tree;
    }

    const testing::GameSandbox& sandbox_;
    Tree game_;
    Tree package_;
    Tree outside_;
    std::string original_;
    std::vector<std::pair<std::string, std::string>> expected_;
};

}  // namespace kelmora::reliability
