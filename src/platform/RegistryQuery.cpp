// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegistryQuery.h"

namespace kelmora {

namespace {

std::int32_t ReadText(RegKey key, const std::string& valueName, std::uint32_t size,
                      RegistryVariant& value) {
    std::string buffer(size, '\0');
    std::uint32_t type = 0;
    const std::int32_t code =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                         reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
    if (code != kErrorSuccess) {
        value = std::monostate{};
        return code;
    }
    // With no terminating zero to drop, taking one character fewer than none fails, and the
    // failure leaves the variant as it was.
    if (size == 0) return code;
    value = buffer.substr(0, size - 1);
    return code;
}

std::int32_t ReadNumber(RegKey key, const std::string& valueName, RegistryVariant& value) {
    std::uint8_t bytes[4] = {};
    std::uint32_t size = sizeof bytes;
    std::uint32_t type = 0;
    const std::int32_t code =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &type, bytes, &size);
    if (code == kErrorSuccess) {
        value = static_cast<std::int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                          (std::uint32_t{bytes[3]} << 24));
    }
    return code;
}

}  // namespace

std::int32_t QueryRegistryValue(RegKey key, const std::string& valueName, RegistryVariant& value) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const std::int32_t code =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    if (code != kErrorSuccess) return code;
    if (type == kRegSz) return ReadText(key, valueName, size, value);
    if (type == kRegDword) return ReadNumber(key, valueName, value);
    return -1;
}

}  // namespace kelmora
