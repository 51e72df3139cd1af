// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Archive entry names as the install handles them: the buffers the library fills, the letter
// case of packed names, and the three working lists of an install run.
namespace kelmora {

inline constexpr std::int32_t kEntryFile = 0;
inline constexpr std::int32_t kEntryDirectory = 1;

// The part of a library-filled buffer before its first NUL; without a NUL, the text without its
// trailing spaces.
std::string TrimNull(std::string_view text);

// The first character and every character after "\", "/" or a space in upper case, all others
// in lower case: "unitpics\arm commander.pcx" becomes "Unitpics\Arm Commander.pcx". At most
// 32767 characters are kept.
std::string TitleCaseEntryPath(std::string_view path);

// Whether an entry of this name may be written below a folder: it stays inside the folder and
// every host can hold it (the archive library's rule, UnsafeEntryPathReason).
bool IsSafeEntryName(std::string_view name);

// The install run's working lists, in the order the archives give their entries.
struct InstallLists {
    // Package files below its "rev31.gp3" folder, lower case, without that prefix:
    // "\scripts\a.cob".
    std::vector<std::string> packageFiles;
    // Directories to create and pack, each once: "\scripts\".
    std::vector<std::string> directories;
    // Game archive files, lower case: "scripts\a.cob".
    std::vector<std::string> gameFiles;

    void AddPackageEntry(std::string_view name, std::int32_t type);
    void AddGameEntry(std::string_view name, std::int32_t type);

private:
    void AddDirectory(std::string directory);

    std::unordered_set<std::string> listed_;  // what directories holds, to find repeats at once
};

}  // namespace kelmora
