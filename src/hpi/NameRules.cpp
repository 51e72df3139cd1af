// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/NameRules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "hpi/HpiFormat.h"
#include "hpi/Windows1252.h"

namespace kelmora {

namespace {

// The characters a Windows file name cannot hold besides the separators and controls.
constexpr std::string_view kRefusedByWindows = "<>:\"|?*";

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// The device a name stands for on Windows, whatever its letter case and extension ("nul",
// "Com1.txt", "lpt\xB9" with a superscript one in Windows-1252); nothing for a plain name.
std::optional<std::string> DeviceName(std::string_view storedName) {
    std::string_view base = storedName.substr(0, storedName.find('.'));
    // Windows drops the spaces before an extension too: "nul .txt" is the device.
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const std::string lower = LowerAscii(base);
    constexpr std::array<std::string_view, 4> kDevices = {"con", "prn", "aux", "nul"};
    if (std::find(kDevices.begin(), kDevices.end(), lower) != kDevices.end())
        return std::string(base);
    constexpr std::string_view kPortNumbers = "123456789\xB9\xB2\xB3";
    if (lower.size() == 4 && (lower.starts_with("com") || lower.starts_with("lpt")) &&
        kPortNumbers.find(lower[3]) != std::string_view::npos) {
        return std::string(base);
    }
    return std::nullopt;
}

}  // namespace

std::string PrintableName(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        unsigned control = 0x100;
        if (c < 0x20 || c == 0x7F) control = c;
        // C1 controls, U+0080..U+009F, are C2 80..C2 9F in UTF-8.
        if (c == 0xC2 && i + 1 < name.size()) {
            auto next = static_cast<unsigned char>(name[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                control = next;
                ++i;
            }
        }
        if (control == 0x100) {
            out += static_cast<char>(c);
            continue;
        }
        char text[8];
        std::snprintf(text, sizeof text, "<%02X>", control);
        out += text;
    }
    return out;
}

std::string UnsafeNameReason(std::string_view storedName) {
    if (storedName.empty()) return "the name is empty";
    if (storedName == ".") return "the name is '.'";
    if (storedName == "..") return "the name is '..'";
    if (storedName.size() > hpi::kMaxNameLength) return "the name is longer than 255 bytes";
    for (char ch : storedName) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '\\') return "the name contains '\\'";
        if (c == '/') return "the name contains '/'";
        if (kRefusedByWindows.find(ch) != std::string_view::npos)
            return std::string("the name contains '") + ch + "'";
        // Controls, and the bytes Windows-1252 leaves undefined, which stand for C1 controls.
        if (c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 ||
            c == 0x9D) {
            char text[64];
            std::snprintf(text, sizeof text, "the name contains a control character (0x%02X)", c);
            return text;
        }
    }
    // Windows drops a trailing dot or space: "a." and "a" would be one file.
    if (storedName.back() == '.') return "the name ends with a dot";
    if (storedName.back() == ' ') return "the name ends with a space";
    if (std::optional<std::string> device = DeviceName(storedName)) {
        return "the name is the device " + Windows1252ToUtf8(*device) + " on Windows";
    }
    return {};
}

std::string UnsafeEntryPathReason(std::string_view path) {
    for (size_t start = 0;;) {
        const size_t end = std::min(path.find('\\', start), path.size());
        const std::string_view name = path.substr(start, end - start);
        const std::optional<std::string> stored = Utf8ToWindows1252(name);
        if (!stored)
            return "the name holds a character the archive's names (Windows-1252) cannot hold";
        if (std::string reason = UnsafeNameReason(*stored); !reason.empty()) return reason;
        if (end == path.size()) return {};
        start = end + 1;
    }
}

}  // namespace kelmora
