// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Registry values as they are stored and as the 8-bit entry points hand them to the program.
namespace kelmora {

// One stored value: its type and its bytes; text types hold UTF-16LE, normally ending in a
// zero code unit.
struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// The code units of UTF-16LE bytes; an odd last byte is no unit.
std::u16string Utf16Units(const std::vector<std::uint8_t>& bytes);

// The data the program receives for `value`: text types as UTF-8 ending in one zero byte that
// the size counts (added when the stored text has none; an empty text stays empty), every
// other type as stored.
std::vector<std::uint8_t> ProgramData(const RegistryValue& value);

// Fills RegQueryValueExA's outputs from `value`: without a buffer only the type and size;
// with one too small for the data, 234 and the size needed.
std::int32_t HandOverValue(const RegistryValue& value, std::uint32_t* type, std::uint8_t* data,
                           std::uint32_t* dataSize);

}  // namespace kelmora
