// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/Registry.h"

namespace kelmora {

// What a registry lookup read: nothing, a text or a 32-bit number.
using RegistryVariant = std::variant<std::monostate, std::string, std::int32_t>;

// Reads one value of an open key into `value`. Returns the registry's result code, or -1 for a
// value type other than REG_SZ and REG_DWORD; `value` is written only on the paths that read data.
std::int32_t QueryRegistryValue(RegKey key, const std::string& valueName, RegistryVariant& value);

}  // namespace kelmora
