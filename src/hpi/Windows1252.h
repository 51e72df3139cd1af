// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Archive entry names are stored as Windows-1252 bytes; the rest of the program speaks UTF-8.
// These two functions are the only place where one becomes the other.
namespace kelmora {

// The UTF-8 form of Windows-1252 bytes. Never fails: the five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the same number, as Windows does.
std::string Windows1252ToUtf8(std::string_view bytes);

// The Windows-1252 bytes of a UTF-8 text, or nothing when the text is not valid UTF-8 or holds a
// character Windows-1252 cannot represent.
std::optional<std::string> Utf8ToWindows1252(std::string_view text);

}  // namespace kelmora
