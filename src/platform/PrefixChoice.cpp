#include "platform/PrefixChoice.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/PathMapping.h"
#include "platform/Registry.h"
#include "platform/WineRegistry.h"

namespace kelmora {
namespace fs = std::filesystem;

namespace {

// The same first line and size limit the registry reader accepts.
constexpr std::string_view kRegistryHeader = "WINE REGISTRY Version 2";
constexpr std::uintmax_t kLargestRegistryFile = std::uintmax_t{128} << 20;

struct RegistryText {
    PrefixFinding failure = PrefixFinding::GameNamed;  // GameNamed: the text was read
    std::string text;
};

bool HasRegistryHeader(std::string_view text) {
    std::string_view line = text.substr(0, text.find('\n'));
    line = line.substr(0, line.find('\0'));
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line == kRegistryHeader;
}

RegistryText ReadRegistryFile(const fs::path& prefix) {
    std::error_code ec;
    if (!fs::is_directory(prefix, ec)) return {PrefixFinding::NoPrefixFolder, {}};
    const fs::path file = prefix / "system.reg";
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) return {PrefixFinding::NoRegistryFile, {}};
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kLargestRegistryFile) return {PrefixFinding::UnreadableRegistry, {}};
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size)) || !HasRegistryHeader(text))
        return {PrefixFinding::UnreadableRegistry, {}};
    return {PrefixFinding::GameNamed, std::move(text)};
}

// The key as the game's 32-bit setup reaches it: Software\Wow6432Node\... first.
std::optional<std::string> FindIn32BitView(const WineRegistry& registry, const std::string& path) {
    const std::vector<std::string> names = KeyPathNames(path);
    if (names.size() >= 2 && names[0] == "software" && names[1] != "wow6432node") {
        std::string redirected = "software\\wow6432node";
        for (size_t i = 1; i < names.size(); ++i) redirected += "\\" + names[i];
        if (auto key = registry.FindKey(redirected)) return key;
    }
    return registry.FindKey(path);
}

std::string FolderNamed(const WineRegistry& registry, const RegistryEntryName& entry) {
    const std::optional<std::string> key = FindIn32BitView(registry, entry.keyPath);
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
    RegistryText file = ReadRegistryFile(prefix.folder);
    if (file.failure != PrefixFinding::GameNamed) return {prefix, file.failure, {}};
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
