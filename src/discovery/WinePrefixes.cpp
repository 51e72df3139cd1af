// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/WinePrefixes.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "discovery/LauncherConfigs.h"
#include "platform/PathMapping.h"

namespace kelmora {
namespace fs = std::filesystem;

namespace {

// The launchers' configuration files are a few kilobytes; a larger one is not theirs.
constexpr std::uintmax_t kLargestConfigFile = std::uintmax_t{1} << 20;
// Folders such as compatdata or ~/Games are read this far and no further.
constexpr size_t kMostEntriesPerFolder = 512;

std::optional<std::string> ReadConfigFile(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kLargestConfigFile) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size))) return std::nullopt;
    return text;
}

bool IsFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool IsPresent(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// The entries of `folder` that `wanted` accepts, in name order.
template <typename Predicate>
std::vector<fs::path> EntriesOf(const fs::path& folder, Predicate wanted) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end;
         !ec && it != end && entries.size() < kMostEntriesPerFolder; it.increment(ec)) {
        if (wanted(it->path())) entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<fs::path> SubfoldersOf(const fs::path& folder) {
    return EntriesOf(folder, IsFolder);
}

std::vector<fs::path> FilesEndingIn(const fs::path& folder, std::string_view extension) {
    return EntriesOf(folder, [extension](const fs::path& path) {
        return path.extension() == extension && !IsFolder(path);
    });
}

// A folder a configuration file names: absolute, or under the home folder with "~".
std::optional<fs::path> NamedFolder(const std::string& text, const fs::path& home) {
    if (text == "~") return home;
    if (text.starts_with("~/")) return home / text.substr(2);
    if (text.starts_with("/")) return fs::path(text);
    return std::nullopt;
}

// Proton keeps the prefix in pfx/ of the folder a launcher names.
fs::path ProtonAware(const fs::path& folder) {
    if (!IsPresent(folder / "system.reg") && IsFolder(folder / "pfx")) return folder / "pfx";
    return folder;
}

bool LooksLikePrefix(const fs::path& folder) {
    return IsPresent(folder / "system.reg") || IsFolder(folder / "drive_c");
}

// Paths in the order added, each place once however it is spelled or linked.
template <typename Item>
class UniqueFolders {
public:
    void Add(Item item, const fs::path& folder) {
        std::error_code ec;
        fs::path key = fs::weakly_canonical(folder, ec);
        if (ec) key = folder.lexically_normal();
        if (seen_.insert(key).second) items_.push_back(std::move(item));
    }
    std::vector<Item> Take() { return std::move(items_); }

private:
    std::set<fs::path> seen_;
    std::vector<Item> items_;
};

class PrefixCollector {
public:
    void Named(const fs::path& folder, PrefixKeeper keeper) {
        const fs::path prefix = ProtonAware(folder);
        prefixes_.Add({prefix, keeper}, prefix);
    }
    void Looked(const fs::path& folder, PrefixKeeper keeper) {
        const fs::path prefix = ProtonAware(folder);
        if (LooksLikePrefix(prefix)) prefixes_.Add({prefix, keeper}, prefix);
    }
    std::vector<KnownPrefix> Take() { return prefixes_.Take(); }

private:
    UniqueFolders<KnownPrefix> prefixes_;
};

void AddSteamPrefixes(const fs::path& home, PrefixCollector& prefixes) {
    for (const fs::path& library : SteamLibraries(home)) {
        for (const fs::path& app : SubfoldersOf(library / "steamapps/compatdata"))
            prefixes.Looked(app, PrefixKeeper::Steam);
    }
}

void AddLutrisPrefixes(const fs::path& home, PrefixCollector& prefixes) {
    for (const char* games : {".config/lutris/games", ".local/share/lutris/games",
                              ".var/app/net.lutris.Lutris/config/lutris/games",
                              ".var/app/net.lutris.Lutris/data/lutris/games"}) {
        for (const fs::path& file : FilesEndingIn(home / games, ".yml")) {
            const std::optional<std::string> text = ReadConfigFile(file);
            const std::optional<std::string> prefix = text ? LutrisGamePrefix(*text) : std::nullopt;
            if (std::optional<fs::path> folder = prefix ? NamedFolder(*prefix, home) : std::nullopt)
                prefixes.Named(*folder, PrefixKeeper::Lutris);
        }
    }
    for (const fs::path& folder : SubfoldersOf(home / "Games"))
        prefixes.Looked(folder, PrefixKeeper::Lutris);
}

void AddHeroicPrefixes(const fs::path& home, PrefixCollector& prefixes) {
    for (const char* settings :
         {".config/heroic/GamesConfig",
          ".var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig"}) {
        for (const fs::path& file : FilesEndingIn(home / settings, ".json")) {
            const std::optional<std::string> text = ReadConfigFile(file);
            if (!text) continue;
            for (const std::string& prefix : HeroicWinePrefixes(*text)) {
                if (std::optional<fs::path> folder = NamedFolder(prefix, home))
                    prefixes.Named(*folder, PrefixKeeper::Heroic);
            }
        }
    }
    for (const char* defaults : {"Games/Heroic/Prefixes", "Games/Heroic/Prefixes/default"}) {
        for (const fs::path& folder : SubfoldersOf(home / defaults))
            prefixes.Looked(folder, PrefixKeeper::Heroic);
    }
}

void AddBottlesPrefixes(const fs::path& home, PrefixCollector& prefixes) {
    for (const char* bottles :
         {".local/share/bottles/bottles", ".var/app/com.usebottles.bottles/data/bottles/bottles"}) {
        for (const fs::path& folder : SubfoldersOf(home / bottles))
            prefixes.Looked(folder, PrefixKeeper::Bottles);
    }
}

}  // namespace

std::string_view KeeperName(PrefixKeeper keeper) {
    switch (keeper) {
        case PrefixKeeper::Environment:
            return "WINEPREFIX";
        case PrefixKeeper::Wine:
            return "Wine";
        case PrefixKeeper::Steam:
            return "Steam (Proton)";
        case PrefixKeeper::Lutris:
            return "Lutris";
        case PrefixKeeper::Heroic:
            return "Heroic";
        case PrefixKeeper::Bottles:
            return "Bottles";
    }
    return "Wine";
}

std::vector<fs::path> SteamLibraries(const fs::path& home) {
    UniqueFolders<fs::path> libraries;
    for (const char* steam : {".steam/steam", ".local/share/Steam",
                              ".var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
        const fs::path root = home / steam;
        if (!IsFolder(root / "steamapps")) continue;
        libraries.Add(root, root);
        for (const char* list : {"steamapps/libraryfolders.vdf", "config/libraryfolders.vdf"}) {
            const std::optional<std::string> text = ReadConfigFile(root / list);
            if (!text) continue;
            for (const std::string& path : SteamLibraryPaths(*text)) {
                const std::optional<fs::path> library = NamedFolder(path, home);
                if (library && IsFolder(*library / "steamapps")) libraries.Add(*library, *library);
            }
        }
    }
    return libraries.Take();
}

std::optional<fs::path> SteamProtonPrefix(const fs::path& library, std::string_view installDir) {
    const fs::path steamapps = library / "steamapps";
    for (const fs::path& file : FilesEndingIn(steamapps, ".acf")) {
        if (!file.filename().string().starts_with("appmanifest_")) continue;
        const std::optional<std::string> text = ReadConfigFile(file);
        const std::optional<SteamApp> app = text ? SteamAppManifest(*text) : std::nullopt;
        if (!app || !EqualNoCase(app->installDir, installDir)) continue;
        const fs::path prefix = steamapps / "compatdata" / app->appId / "pfx";
        if (IsFolder(prefix)) return prefix;
    }
    return std::nullopt;
}

std::vector<KnownPrefix> KnownWinePrefixes(const fs::path& home) {
    PrefixCollector prefixes;
    prefixes.Named(home / ".wine", PrefixKeeper::Wine);
    AddSteamPrefixes(home, prefixes);
    AddLutrisPrefixes(home, prefixes);
    AddHeroicPrefixes(home, prefixes);
    AddBottlesPrefixes(home, prefixes);
    return prefixes.Take();
}

}  // namespace kelmora
