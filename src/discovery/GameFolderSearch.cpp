// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/GameFolderSearch.h"

#include <cstdlib>
#include <deque>
#include <set>
#include <string>
#include <system_error>

#include "platform/PathMapping.h"

namespace kelmora {
namespace fs = std::filesystem;

namespace {

// The game's own files, which every copy of the game holds side by side.
constexpr const char* kGameFiles[] = {"totala1.hpi", "ccdata.ccx", "rev31.gp3"};

struct Place {
    fs::path root;
    int depth;  // levels below the root that are searched
    std::optional<fs::path> prefix;
};

struct Visit {
    fs::path folder;
    int depth;
};

class Search {
public:
    explicit Search(const SearchLimits& limits) : limits_(limits) {}

    void Walk(const Place& place) {
        std::error_code ec;
        const fs::path root = fs::canonical(place.root, ec);
        if (ec || !fs::is_directory(root, ec) || !walked_.insert(root).second) return;
        std::deque<Visit> waiting{{root, 0}};
        for (std::size_t visited = 0; !waiting.empty(); ++visited) {
            if (visited == limits_.foldersPerPlace || visitedInAll_ == limits_.foldersInAll) {
                result_.cutShort = true;
                return;
            }
            ++visitedInAll_;
            const Visit visit = std::move(waiting.front());
            waiting.pop_front();
            Look(visit, place, waiting);
        }
    }

    GameFolderSearch Take() { return std::move(result_); }

private:
    // Notes the folder when it holds the game; else queues its subfolders (never links) that
    // are still within the place's depth.
    void Look(const Visit& visit, const Place& place, std::deque<Visit>& waiting) {
        std::set<std::string> names;
        std::vector<fs::path> subfolders;
        std::error_code ec;
        for (fs::directory_iterator it(visit.folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::file_status status = it->symlink_status(ec);
            if (ec) continue;
            if (fs::is_directory(status)) {
                subfolders.push_back(it->path());
            } else {
                names.insert(LowerCase(it->path().filename().string()));
            }
        }
        if (HoldsGame(names)) {
            if (found_.insert(visit.folder).second)
                result_.folders.push_back({visit.folder, place.prefix});
            return;
        }
        if (visit.depth == place.depth) return;
        for (fs::path& subfolder : subfolders) {
            if (visit.depth == 0 && place.prefix &&
                EqualNoCase(subfolder.filename().string(), "windows"))
                continue;
            waiting.push_back({std::move(subfolder), visit.depth + 1});
        }
    }

    static bool HoldsGame(const std::set<std::string>& names) {
        for (const char* file : kGameFiles) {
            if (!names.contains(file)) return false;
        }
        return true;
    }

    SearchLimits limits_;
    std::size_t visitedInAll_ = 0;
    std::set<fs::path> walked_;
    std::set<fs::path> found_;
    GameFolderSearch result_;
};

// A game in a Steam library's steamapps/common belongs to the Proton prefix Steam keeps for it.
void NameProtonPrefixes(GameFolderSearch& search, const fs::path& library) {
    std::error_code ec;
    const fs::path common = fs::canonical(library / "steamapps/common", ec);
    if (ec) return;
    for (FoundGameFolder& found : search.folders) {
        const fs::path inLibrary = found.folder.lexically_relative(common);
        if (found.prefix || inLibrary.empty() || *inLibrary.begin() == "..") continue;
        found.prefix = SteamProtonPrefix(library, inLibrary.begin()->string());
    }
}

}  // namespace

GameFolderSearch SearchGameFolders(const fs::path& home, const std::vector<KnownPrefix>& prefixes,
                                   const SearchLimits& limits) {
    std::vector<Place> places;
    for (const KnownPrefix& prefix : prefixes)
        places.push_back({prefix.folder / "drive_c", 4, prefix.folder});
    const std::vector<fs::path> libraries = SteamLibraries(home);
    for (const fs::path& library : libraries)
        places.push_back({library / "steamapps/common", 2, std::nullopt});
    places.push_back({home / "Games", 3, std::nullopt});

    Search search(limits);
    for (const Place& place : places) search.Walk(place);
    GameFolderSearch result = search.Take();
    for (const fs::path& library : libraries) NameProtonPrefixes(result, library);
    return result;
}

GameFolderSearch SearchGameFoldersAtHome() {
    const fs::path home = HomeFolder();
    std::vector<KnownPrefix> prefixes;
    if (const char* variable = std::getenv("WINEPREFIX"); variable && *variable)
        prefixes.push_back({variable, PrefixKeeper::Environment});
    for (KnownPrefix& prefix : KnownWinePrefixes(home)) prefixes.push_back(std::move(prefix));
    return SearchGameFolders(home, prefixes);
}

}  // namespace kelmora
