// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The program builds paths as texts, the way a Windows program does ("c:\games\ta" + "\rev31.gp3").
// This unit is the one place where such a text becomes a place on the host: the identity on
// Windows; elsewhere drive letters go through the Wine prefix and every name is matched without
// regard to letter case, as Wine and the game's own file system do.
namespace kelmora {

// The host path a program path text names. Each existing component is matched exactly first,
// then without regard to case (the first match in byte order wins); a component that does not
// exist yet keeps the spelling given. Raises RuntimeError 52 for a text that is no path (on
// Windows also one of MAX_PATH characters or more) and 76 for a drive the Wine prefix (on
// Windows, the machine) does not have.
std::filesystem::path HostPath(std::string_view text);

// HostPath for many paths in a few folders, as when an archive is extracted: a folder is listed
// once for the case-insensitive matching, and the listing is kept for the life of the object.
// Names created meanwhile must be reported with Created(); a name another process creates in a
// folder already listed (in another letter case than asked for) goes unseen. Exact spellings are
// always looked up afresh.
class PathResolver {
public:
    PathResolver();
    ~PathResolver();
    PathResolver(const PathResolver&) = delete;
    PathResolver& operator=(const PathResolver&) = delete;

    std::filesystem::path Resolve(std::string_view text);
    // `hostPath` (as Resolve gave it) exists now.
    void Created(const std::filesystem::path& hostPath);

private:
    struct Listings;
    std::unique_ptr<Listings> listings_;
};

// `folder` + `suffix`, where the suffix is written with `\` ("\Orv_Backup\rev31.mod"). Under a
// POSIX folder ("/home/ann/ta") the suffix's separators become `/`; a separator doubled at the
// joint counts once.
std::string JoinPath(std::string_view folder, std::string_view suffix);

// The full form of a folder text: made absolute against the current folder, "." and ".."
// resolved, separators single, no trailing separator except on a root ("c:\", "/").
std::string FullPathText(std::string_view text);

// FullPathText with every component that exists spelled as it is on disk ("c:\cavedog\totala"
// gives "c:\Cavedog\TotalA"), so that the text names that one folder exactly from now on, even
// once a sibling in another letter case appears. Components that do not exist keep the spelling
// given.
std::string OnDiskSpelling(std::string_view text);

// The names in the folder a text names that equal `name` without regard to case, in byte order:
// more than one where a file is there in two spellings. None for a folder that cannot be listed.
std::vector<std::string> SpellingsIn(std::string_view folder, std::string_view name);

// A folder text as the player reads it: a drive path in lower case, as the program's texts have
// always shown the game folder ("c:\cavedog\totala"); any other as it is, which for a folder
// spelled as on disk ("/home/ann/Spiele/TA") is the one spelling that finds it where case matters.
std::string ShownFolder(std::string_view folder);

// `path` as the player reads it: where it lies in `folder` (matched without regard to case), that
// part as ShownFolder shows it and the rest as written ("c:\cavedog\totala\Orv_Backup").
std::string ShownPath(std::string_view path, std::string_view folder);

// The process's current folder, as a folder text.
std::string CurrentFolderText();

// The Wine prefix drive letters and the registry are read from: the one UseWinePrefix chose,
// else $WINEPREFIX, else ~/.wine.
std::filesystem::path WinePrefix();

// Makes `prefix` the one WinePrefix() gives from now on; an empty path goes back to the
// environment's. Meant for start-up, once the prefix that names the game is known.
void UseWinePrefix(const std::filesystem::path& prefix);

// The user's home folder: $HOME, else the one the password database names.
std::filesystem::path HomeFolder();

// Whether two names are equal without regard to letter case (ASCII and Latin-1 letters, UTF-8).
bool EqualNoCase(std::string_view a, std::string_view b);

// The lower case of a UTF-8 text (ASCII and Latin-1 letters), as the program shows folders
// and lists archive entries.
std::string LowerCase(std::string_view text);

// The upper case of a UTF-8 text (ASCII and Latin-1 letters).
std::string UpperCase(std::string_view text);

}  // namespace kelmora
