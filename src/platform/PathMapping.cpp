// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PathMapping.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/RuntimeError.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

// The entries of a folder by their case-folded names, each with the first spelling in byte order.
using FoldedNames = std::unordered_map<std::string, std::string>;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(std::string_view text) {
    return text.size() >= 2 && text[1] == ':' &&
           ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'));
}

std::vector<std::string> SplitComponents(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (IsSeparator(c)) {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

// Resolves "." and ".." lexically, never climbing above the root the components hang from.
std::vector<std::string> ResolveDots(const std::vector<std::string>& parts) {
    std::vector<std::string> resolved;
    for (const auto& part : parts) {
        if (part == ".") continue;
        if (part == "..") {
            if (!resolved.empty()) resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
    }
    return resolved;
}

// Case folding of one UTF-8 text: ASCII letters, and the Latin-1 capitals U+00C0..U+00DE
// (but U+00D7, the multiplication sign), which are what the game's file names use.
std::string FoldCase(std::string_view text, bool toUpper) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (toUpper && c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 32);
        if (!toUpper && c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
        if (c == 0xC3 && i + 1 < out.size()) {
            unsigned char next = static_cast<unsigned char>(out[i + 1]);
            if (!toUpper && next >= 0x80 && next <= 0x9E && next != 0x97)
                out[i + 1] = static_cast<char>(next + 0x20);
            if (toUpper && next >= 0xA0 && next <= 0xBE && next != 0xB7)
                out[i + 1] = static_cast<char>(next - 0x20);
            ++i;
        }
    }
    return out;
}

#ifndef _WIN32
// The prefix chosen at start-up; guarded because the install thread maps drive paths too.
struct ChosenPrefix {
    std::mutex mutex;
    fs::path prefix;
};

ChosenPrefix& Chosen() {
    static ChosenPrefix chosen;
    return chosen;
}

bool Exists(const std::string& path) {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

bool Exists(const fs::path& path) {
    return Exists(path.native());
}

FoldedNames ReadFolder(const fs::path& folder) {
    FoldedNames names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string candidate = it->path().filename().string();
        auto [slot, added] = names.try_emplace(LowerCase(candidate), candidate);
        if (!added && candidate < slot->second) slot->second = candidate;
    }
    return names;
}

// The spelling of `name` in `folder` when only a case-insensitive match exists, or an empty text.
std::string MatchWithoutCase(const fs::path& folder, const std::string& name,
                             std::unordered_map<std::string, FoldedNames>* listings) {
    if (!listings) {
        FoldedNames names = ReadFolder(folder);
        auto it = names.find(LowerCase(name));
        return it == names.end() ? std::string() : it->second;
    }
    auto [listing, fresh] = listings->try_emplace(folder.native());
    if (fresh) listing->second = ReadFolder(folder);
    auto it = listing->second.find(LowerCase(name));
    if (it == listing->second.end()) return {};
    if (fresh || Exists(folder / it->second)) return it->second;
    // Removed since the folder was read: read it again.
    listing->second = ReadFolder(folder);
    it = listing->second.find(LowerCase(name));
    return it == listing->second.end() ? std::string() : it->second;
}

// Components below `base`, each matched exactly, else without regard to case, else kept as
// given from the first one that does not exist. One stat settles a path that exists as spelled
// (every component then matches exactly); otherwise the longest prefix that exists as spelled is
// found from the end, and only the components after it are matched one by one.
fs::path MatchComponents(const fs::path& base, const std::vector<std::string>& parts,
                         std::unordered_map<std::string, FoldedNames>* listings) {
    // The whole path as one text, and where each prefix of it ends.
    std::string whole = base.native();
    std::vector<size_t> ends{whole.size()};
    for (const auto& part : parts) {
        if (whole.empty() || whole.back() != '/') whole += '/';
        whole += part;
        ends.push_back(whole.size());
    }
    size_t exact = parts.size();
    while (exact > 0 && !Exists(whole.substr(0, ends[exact]))) --exact;
    if (exact == parts.size()) return fs::path(std::move(whole));
    fs::path result(whole.substr(0, ends[exact]));
    bool matching = true;
    for (size_t i = exact; i < parts.size(); ++i) {
        std::string name;
        if (matching) {
            // The component right after the prefix is known not to exist as spelled.
            if (i > exact && Exists(result / parts[i])) name = parts[i];
            if (name.empty()) name = MatchWithoutCase(result, parts[i], listings);
        }
        if (name.empty()) {
            matching = false;
            name = parts[i];
        }
        result /= name;
    }
    return result;
}

fs::path DriveRoot(char letter) {
    char lower = static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter + 32 : letter);
    fs::path link = WinePrefix() / "dosdevices" / std::string{lower, ':'};
    std::error_code ec;
    if (!fs::is_directory(link, ec)) throw RuntimeError(kPathNotFound);
    return link;
}
#endif

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldCase(a, false) == FoldCase(b, false);
}

std::string LowerCase(std::string_view text) {
    return FoldCase(text, false);
}

std::string UpperCase(std::string_view text) {
    return FoldCase(text, true);
}

fs::path HomeFolder() {
#ifdef _WIN32
    return {};
#else
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
#endif
}

void UseWinePrefix([[maybe_unused]] const fs::path& prefix) {
#ifndef _WIN32
    const std::lock_guard lock(Chosen().mutex);
    Chosen().prefix = prefix;
#endif
}

fs::path WinePrefix() {
#ifdef _WIN32
    return {};
#else
    {
        const std::lock_guard lock(Chosen().mutex);
        if (!Chosen().prefix.empty()) return Chosen().prefix;
    }
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    return HomeFolder() / ".wine";
#endif
}

std::string ShownFolder(std::string_view folder) {
    return HasDrive(folder) ? LowerCase(folder) : std::string(folder);
}

std::string ShownPath(std::string_view path, std::string_view folder) {
    const size_t length = folder.size();
    const bool within =
        !folder.empty() && path.size() >= length && EqualNoCase(path.substr(0, length), folder) &&
        (path.size() == length || IsSeparator(path[length]) || IsSeparator(folder.back()));
    if (!within) return std::string(path);
    return ShownFolder(path.substr(0, length)) + std::string(path.substr(length));
}

std::string CurrentFolderText() {
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    if (ec) throw ErrorFromSystem(ec, kPathNotFound);
    auto text = current.u8string();
    return std::string(text.begin(), text.end());
}

std::string JoinPath(std::string_view folder, std::string_view suffix) {
    std::string joined(folder);
    std::string tail(suffix);
    if (!joined.empty() && joined.front() == '/') std::replace(tail.begin(), tail.end(), '\\', '/');
    if (!joined.empty() && IsSeparator(joined.back()) && !tail.empty() &&
        IsSeparator(tail.front())) {
        tail.erase(0, 1);
    }
    return joined + tail;
}

std::string FullPathText(std::string_view text) {
    if (HasDrive(text)) {
        std::string result(text.substr(0, 2));
        result += '\\';
        auto parts = ResolveDots(SplitComponents(text.substr(2)));
        for (size_t i = 0; i < parts.size(); ++i) result += (i ? "\\" : "") + parts[i];
        return result;
    }
    if (text.empty() || !IsSeparator(text.front())) {
        return FullPathText(JoinPath(CurrentFolderText(), "\\" + std::string(text)));
    }
    const char separator = text.front();
    std::string result(1, separator);
    auto parts = ResolveDots(SplitComponents(text));
    for (size_t i = 0; i < parts.size(); ++i)
        result += (i ? std::string(1, separator) : "") + parts[i];
    return result;
}

namespace {

#ifndef _WIN32
// The host folder a text's components hang from, and the text after it; a relative text is taken
// against the current folder.
std::pair<fs::path, std::string> SplitBase(std::string_view text) {
    if (HasDrive(text)) return {DriveRoot(text[0]), std::string(text.substr(2))};
    if (IsSeparator(text.front())) return {"/", std::string(text)};
    return {"/", JoinPath(CurrentFolderText(), "/" + std::string(text))};
}
#endif

fs::path Resolve(std::string_view text, std::unordered_map<std::string, FoldedNames>* listings) {
    if (text.empty() || text.find('\0') != std::string_view::npos) throw RuntimeError(kBadFileName);
#ifdef _WIN32
    (void)listings;
    // A drive the machine does not have is "path not found", as a drive the Wine prefix does
    // not map is elsewhere.
    if (HasDrive(text)) {
        const int drive = (text[0] | 0x20) - 'a';
        if ((::GetLogicalDrives() & (1u << drive)) == 0) throw RuntimeError(kPathNotFound);
    }
    fs::path path(std::u8string(text.begin(), text.end()));
    // Windows takes no longer path (the program is not made for longer ones), and the standard
    // library cannot reach what lies beyond it: a folder made there would never go again.
    std::error_code ec;
    if (fs::absolute(path, ec).native().size() >= MAX_PATH) throw RuntimeError(kBadFileName);
    return path;
#else
    auto [base, rest] = SplitBase(text);
    return MatchComponents(base, ResolveDots(SplitComponents(rest)), listings);
#endif
}

}  // namespace

fs::path HostPath(std::string_view text) {
    return Resolve(text, nullptr);
}

std::string OnDiskSpelling(std::string_view text) {
    const std::string full = FullPathText(text);
#ifdef _WIN32
    return full;
#else
    // The host path has one component per component of the text after its root, each as found.
    const size_t rootLength = HasDrive(full) ? 3 : 1;
    const std::vector<std::string> parts =
        SplitComponents(std::string_view(full).substr(rootLength));
    std::vector<std::string> found;
    fs::path host = HostPath(full);
    for (size_t i = 0; i < parts.size(); ++i, host = host.parent_path())
        found.insert(found.begin(), host.filename().string());
    std::string spelled = full.substr(0, rootLength);
    for (size_t i = 0; i < found.size(); ++i)
        spelled += (i ? std::string(1, full[rootLength - 1]) : "") + found[i];
    return spelled;
#endif
}

std::vector<std::string> SpellingsIn(std::string_view folder, std::string_view name) {
    std::vector<std::string> spellings;
    std::error_code ec;
    for (fs::directory_iterator it(HostPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const auto found = it->path().filename().u8string();
        std::string spelling(found.begin(), found.end());
        if (EqualNoCase(spelling, name)) spellings.push_back(std::move(spelling));
    }
    std::sort(spellings.begin(), spellings.end());
    return spellings;
}

struct PathResolver::Listings {
#ifndef _WIN32
    std::unordered_map<std::string, FoldedNames> folders;
#endif
};

PathResolver::PathResolver() : listings_(std::make_unique<Listings>()) {}
PathResolver::~PathResolver() = default;

fs::path PathResolver::Resolve(std::string_view text) {
#ifdef _WIN32
    return kelmora::Resolve(text, nullptr);
#else
    return kelmora::Resolve(text, &listings_->folders);
#endif
}

void PathResolver::Created(const fs::path& hostPath) {
#ifndef _WIN32
    auto listing = listings_->folders.find(hostPath.parent_path().native());
    if (listing == listings_->folders.end()) return;
    std::string name = hostPath.filename().string();
    auto [slot, added] = listing->second.try_emplace(LowerCase(name), name);
    if (!added && name < slot->second) slot->second = name;
#else
    (void)hostPath;
#endif
}

}  // namespace kelmora
