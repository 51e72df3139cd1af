// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/PrefixChoice.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "platform/PathMapping.h"
#include "platform/Registry.h"
#include "platform/WineRegistry.h"

namespace kelmora {
namespace fs = std::filesystem;

namespace {

// Whether a registry's text may hold the key `keyPath`: it names the key's last name somewhere.
// Parsing a whole registry takes a while and Steam keeps a prefix per game, most of which never
// saw this one; a name of letters, digits and spaces is written as it is, so a text without it
// holds no such key.
bool MayHoldKey(std::string_view text, std::string_view keyPath) {
    const std::vector<std::string> names = KeyPathNames(keyPath);
    if (names.empty()) return true;
    const std::string& name = names.back();
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
    });
    return !plain || LowerCase(text).find(name) != std::string::npos;
}

std::string FolderNamed(const WineRegistry& registry, const RegistryEntryName& entry) {
    const std::optional<std::string> key = registry.FindKeyIn32BitView(entry.keyPath);
    const RegistryValue* value = key ? registry.FindValue(*key, entry.valueName) : nullptr;
    if (value == nullptr || value->type != kRegSz) return {};
    const std::vector<std::uint8_t> data = ProgramData(*value);
    const std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

}  // namespace

const PrefixCheck* PrefixChoice::Chosen() const {
    if (checks.empty() || checks.back().finding != PrefixFinding::GameNamed) return nullptr;
    return &checks.back();
}

std::string_view DescribeFinding(PrefixFinding finding) {
    switch (finding) {
        case PrefixFinding::GameNamed:
            return "the registry names the game folder";
        case PrefixFinding::NoPrefixFolder:
            return "the prefix folder does not exist";
        case PrefixFinding::NoRegistryFile:
            return "the prefix has no system.reg";
        case PrefixFinding::UnreadableRegistry:
            return "system.reg cannot be read";
        case PrefixFinding::NoGameEntry:
            return "the registry has no entry for the game";
    }
    return "the registry has no entry for the game";
}

PrefixCheck CheckPrefix(const KnownPrefix& prefix, const RegistryEntryName& entry) {
    std::error_code ec;
    if (!fs::is_directory(prefix.folder, ec)) return {prefix, PrefixFinding::NoPrefixFolder, {}};
    const RegistryFile file = WineRegistry::Read(prefix.folder / "system.reg");
    if (file.status == RegistryFileStatus::kMissing)
        return {prefix, PrefixFinding::NoRegistryFile, {}};
    if (file.status == RegistryFileStatus::kUnreadable)
        return {prefix, PrefixFinding::UnreadableRegistry, {}};
    if (!MayHoldKey(file.text, entry.keyPath)) return {prefix, PrefixFinding::NoGameEntry, {}};
    std::string folder = FolderNamed(WineRegistry::Parse(file.text), entry);
    if (folder.empty()) return {prefix, PrefixFinding::NoGameEntry, {}};
    return {prefix, PrefixFinding::GameNamed, std::move(folder)};
}

PrefixChoice ChoosePrefix(const std::vector<KnownPrefix>& prefixes,
                          const RegistryEntryName& entry) {
    PrefixChoice choice;
    for (const KnownPrefix& prefix : prefixes) {
        choice.checks.push_back(CheckPrefix(prefix, entry));
        if (choice.Chosen() != nullptr) break;
    }
    return choice;
}

PrefixChoice SelectWinePrefix(const RegistryEntryName& entry) {
    if (const char* variable = std::getenv("WINEPREFIX"); variable && *variable)
        return {{CheckPrefix({variable, PrefixKeeper::Environment}, entry)}};
    PrefixChoice choice = ChoosePrefix(KnownWinePrefixes(HomeFolder()), entry);
    if (const PrefixCheck* chosen = choice.Chosen()) UseWinePrefix(chosen->prefix.folder);
    return choice;
}

}  // namespace kelmora
