// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/GameFolderLookup.h"

#include <variant>

#include "platform/Registry.h"
#include "platform/RegistryQuery.h"

#ifndef _WIN32
#include "discovery/PrefixChoice.h"
#endif

namespace kelmora {

namespace {

// The rights the lookup asks for: query, set, create, enumerate, notify and link. The registry
// layer opens the key for reading only whatever is asked, so an account that may not write the
// machine's keys still finds the folder.
constexpr std::uint32_t kGameKeyAccess = 0x3F;

class OpenKey {
public:
    explicit OpenKey(const std::string& keyPath) {
        RegOpenKeyExA(kHKeyLocalMachine, keyPath.c_str(), 0, kGameKeyAccess, &handle_);
    }
    // Closed also when the open failed and the handle stayed 0.
    ~OpenKey() { RegCloseKey(handle_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    RegKey handle() const { return handle_; }

private:
    RegKey handle_ = 0;
};

}  // namespace

std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName) {
    const OpenKey key(keyPath);
    RegistryVariant value;
    QueryRegistryValue(key.handle(), valueName, value);
    // A number names no folder; an edit box shows a text up to its first NUL.
    const auto* text = std::get_if<std::string>(&value);
    return text ? text->substr(0, text->find('\0')) : std::string();
}

std::vector<std::string> ChooseGamePrefix() {
#ifdef _WIN32
    return {};
#else
    std::vector<std::string> lines;
    for (const PrefixCheck& check :
         SelectWinePrefix({kGameUninstallKey, kGameFolderValue}).checks) {
        lines.push_back(check.prefix.folder.string() + " (" +
                        std::string(KeeperName(check.prefix.keeper)) +
                        "): " + std::string(DescribeFinding(check.finding)));
    }
    return lines;
#endif
}

GameFolderSearch SearchForGameFolders() {
#ifdef _WIN32
    return {};
#else
    return SearchGameFoldersAtHome();
#endif
}

std::optional<FoundGameFolder> OnlyGameFolderFound() {
    GameFolderSearch search = SearchForGameFolders();
    if (search.folders.size() != 1) return std::nullopt;
    return std::move(search.folders.front());
}

}  // namespace kelmora
