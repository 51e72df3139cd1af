// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryData.h"

// A Wine registry file (system.reg, whose key paths are relative to HKEY_LOCAL_MACHINE) read
// into memory. The file is only ever read; key paths and value names match without regard to
// letter case.
namespace kelmora {

// The names of a key path, lower-cased: backslashes separate them, and empty names drop out.
std::vector<std::string> KeyPathNames(std::string_view path);

struct RegistryFile;

class WineRegistry {
public:
    // The text of the registry file `file` (checked for Wine's header line, for Parse), or why
    // there is none.
    static RegistryFile Read(const std::filesystem::path& file);

    // The registry a file's text describes. A damaged key or value is left out, as Wine leaves
    // it out, and the rest is read.
    static WineRegistry Parse(std::string_view text);

    // The key a path names ("Software\Microsoft", one backslash between names), following
    // registry links, as the path later calls take; nothing when there is no such key. A key
    // exists when the file names it or any key below it; the empty path is the root.
    std::optional<std::string> FindKey(std::string_view path) const;

    // FindKey as a 32-bit program reaches the key, the way the game's setup wrote it: under
    // Software, the Wow6432Node copy first, then the key itself.
    std::optional<std::string> FindKeyIn32BitView(std::string_view path) const;

    // A value of a key that FindKey returned; the empty name is the key's default value.
    const RegistryValue* FindValue(const std::string& key, std::string_view name) const;

private:
    struct Key {
        std::map<std::string, RegistryValue> values;  // by lower-cased name
        bool isLink = false;
    };

    Key& AddKey(const std::string& path);
    // Where a link key leads; nothing when it leads out of HKEY_LOCAL_MACHINE or nowhere.
    std::optional<std::string> LinkTarget(const Key& key) const;

    std::map<std::string, Key> keys_;  // by lower-cased path
    std::set<std::string> present_;    // every key path and all its ancestors
};

enum class RegistryFileStatus {
    kRead,
    kMissing,
    kUnreadable,  // unreadable, too large, or no Wine registry file
};

struct RegistryFile {
    RegistryFileStatus status = RegistryFileStatus::kMissing;
    std::string text;  // empty unless read
};

}  // namespace kelmora
