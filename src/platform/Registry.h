// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// The three registry functions the program calls, with the Windows signatures and result codes.
// On Windows they are the real calls; elsewhere they read the Wine prefix's system.reg.
namespace kelmora {

using RegKey = std::uint32_t;

inline constexpr RegKey kHKeyLocalMachine = 0x80000002u;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorInvalidParameter = 87;
inline constexpr std::int32_t kErrorMoreData = 234;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

std::int32_t RegOpenKeyExA(RegKey key, const char* subKey, std::uint32_t options,
                           std::uint32_t samDesired, RegKey* result);
std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* reserved,
                              std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize);
std::int32_t RegCloseKey(RegKey key);

#ifdef _WIN32
// For the demo, which may not write the machine's registry: this process's HKEY_LOCAL_MACHINE
// becomes a volatile key of the user's own (HKEY_CURRENT_USER\Software\Kelmora\Demo, gone at
// the next logon) that holds the text value `valueName` = `text` under `keyPath`. Raises
// std::runtime_error when the key cannot be made.
void UseDemoRegistry(const std::string& keyPath, const std::string& valueName,
                     const std::string& text);
#endif

}  // namespace kelmora
