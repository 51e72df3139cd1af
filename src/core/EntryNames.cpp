// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/EntryNames.h"

#include <algorithm>

#include "hpi/NameRules.h"
#include "platform/PathMapping.h"

namespace kelmora {

namespace {

constexpr std::size_t kMaxTextLength = 32767;
constexpr std::string_view kPackageFolder = "rev31.gp3";

// One UTF-8 character starting at `pos`: its length in bytes (a stray byte counts as one).
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return std::min(length, text.size() - pos);
}

}  // namespace

std::string TrimNull(std::string_view text) {
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) return std::string(text.substr(0, nul));
    std::size_t end = text.find_last_not_of(' ');
    return std::string(end == std::string_view::npos ? std::string_view()
                                                     : text.substr(0, end + 1));
}

std::string TitleCaseEntryPath(std::string_view path) {
    std::string result;
    bool upper = true;
    std::size_t characters = 0;
    for (std::size_t pos = 0; pos < path.size() && characters < kMaxTextLength; ++characters) {
        std::size_t length = CharacterLength(path, pos);
        std::string_view c = path.substr(pos, length);
        result += upper ? UpperCase(c) : LowerCase(c);
        upper = c == "\\" || c == "/" || c == " ";
        pos += length;
    }
    return result;
}

bool IsSafeEntryName(std::string_view name) {
    return UnsafeEntryPathReason(name).empty();
}

void InstallLists::AddPackageEntry(std::string_view name, std::int32_t type) {
    std::string lower = LowerCase(name);
    if (lower.compare(0, kPackageFolder.size(), kPackageFolder) != 0 || lower == kPackageFolder) {
        return;
    }
    std::string stored = lower.substr(kPackageFolder.size());
    if (type == kEntryFile) packageFiles.push_back(stored);
    // A directory that could lead out of the work folder is never created; its files are
    // refused one by one when they are extracted. What is left once "rev31.gp3" is cut off must
    // stay inside too: the root folder "rev31.gp3.." leaves "..".
    const std::string_view relative = std::string_view(stored).substr(stored.starts_with('\\'));
    if (type == kEntryDirectory && IsSafeEntryName(name) && IsSafeEntryName(relative)) {
        AddDirectory(stored + "\\");
    }
}

void InstallLists::AddGameEntry(std::string_view name, std::int32_t type) {
    std::string lower = LowerCase(name);
    if (type == kEntryFile) gameFiles.push_back(lower);
    if (type == kEntryDirectory && IsSafeEntryName(name)) AddDirectory("\\" + lower + "\\");
}

void InstallLists::AddDirectory(std::string directory) {
    if (listed_.insert(directory).second) directories.push_back(std::move(directory));
}

}  // namespace kelmora
