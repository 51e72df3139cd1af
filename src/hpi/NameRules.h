// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The names an archive's entries may have to be written below a folder. The rule is the same on
// every platform, names Windows cannot hold included, so that an archive extracts and installs
// alike everywhere.
namespace kelmora {

// A name or path made safe to print: control characters shown as <XX>.
std::string PrintableName(std::string_view name);

// Why a stored name (Windows-1252 bytes) is not safe as a file name, or an empty text: it could
// leave the folder ("..", separators, a drive's ':'), holds a control character, or is one that
// Windows cannot hold (a device name such as NUL or com1.txt, a trailing dot or space, one of
// <>:"|?*).
std::string UnsafeNameReason(std::string_view storedName);

// Why an entry path as the library lists it (UTF-8, names joined with '\') is not safe to write
// below a folder, or an empty text: each of its names must pass UnsafeNameReason.
std::string UnsafeEntryPathReason(std::string_view path);

}  // namespace kelmora
