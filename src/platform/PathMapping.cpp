#include "platform/PathMapping.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/RuntimeError.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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
            if (!toUpper && next >= 0x80 && next <= 0x9E && next != 0x97) out[i + 1] = static_cast<char>(next + 0x20);
            if (toUpper && next >= 0xA0 && next <= 0xBE && next != 0xB7) out[i + 1] = static_cast<char>(next - 0x20);
            ++i;
        }
    }
    return out;
}

#ifndef _WIN32
fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// The entry of `folder` named `name` without regard to case; exact spelling first, then the
// first case-insensitive match in byte order; empty when there is none.
std::string MatchComponent(const fs::path& folder, const std::string& name) {
    if (Exists(folder / name)) return name;
    std::string best;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string candidate = it->path().filename().string();
        if (EqualNoCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
    }
    return best;
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

std::string LowerCase(std::string_view text) { return FoldCase(text, false); }

std::string UpperCase(std::string_view text) { return FoldCase(text, true); }

fs::path WinePrefix() {
#ifdef _WIN32
    return {};
#else
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    return HomeFolder() / ".wine";
#endif
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
    if (!joined.empty() && IsSeparator(joined.back()) && !tail.empty() && IsSeparator(tail.front())) {
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
    for (size_t i = 0; i < parts.size(); ++i) result += (i ? std::string(1, separator) : "") + parts[i];
    return result;
}

fs::path HostPath(std::string_view text) {
    if (text.empty() || text.find('\0') != std::string_view::npos) throw RuntimeError(kBadFileName);
#ifdef _WIN32
    return fs::path(std::u8string(text.begin(), text.end()));
#else
    fs::path base;
    std::string_view rest = text;
    if (HasDrive(text)) {
        base = DriveRoot(text[0]);
        rest = text.substr(2);
    } else if (IsSeparator(text.front())) {
        base = "/";
    } else {
        return HostPath(JoinPath(CurrentFolderText(), "/" + std::string(text)));
    }
    fs::path result = base;
    bool matching = true;
    for (const auto& part : ResolveDots(SplitComponents(rest))) {
        std::string name = matching ? MatchComponent(result, part) : std::string();
        if (name.empty()) {
            matching = false;
            name = part;
        }
        result /= name;
    }
    return result;
#endif
}

}  // namespace kelmora
