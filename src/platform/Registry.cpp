// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Registry.h"

#ifndef _WIN32

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PathMapping.h"
#include "platform/RegistryHandles.h"
#include "platform/WineRegistry.h"

// Away from Windows the registry is the Wine prefix's system.reg, read once per opened key.
namespace kelmora {

namespace {

struct OpenKey {
    std::shared_ptr<const WineRegistry> registry;
    std::string path;
};

RegistryHandles<OpenKey>& Handles() {
    static RegistryHandles<OpenKey> table;
    return table;
}

}  // namespace

std::int32_t RegOpenKeyExA(RegKey key, const char* subKey, std::uint32_t /*options*/,
                           std::uint32_t /*samDesired*/, RegKey* result) {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = 0;
    OpenKey parent;
    if (key == kHKeyLocalMachine) {
        parent.registry = std::make_shared<const WineRegistry>(
            WineRegistry::Parse(WineRegistry::Read(WinePrefix() / "system.reg").text));
    } else if (std::optional<OpenKey> open = Handles().Find(key)) {
        parent = *open;
    } else {
        return IsPredefinedKey(key) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    const std::string path = parent.path + "\\" + (subKey != nullptr ? subKey : "");
    std::optional<std::string> found = parent.registry->FindKeyIn32BitView(path);
    if (!found) return kErrorFileNotFound;
    *result = Handles().Add({parent.registry, *found});
    return kErrorSuccess;
}

std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* reserved,
                              std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    if (reserved != nullptr) return kErrorInvalidParameter;
    std::optional<OpenKey> open = Handles().Find(key);
    if (!open) return IsPredefinedKey(key) ? kErrorFileNotFound : kErrorInvalidHandle;
    const RegistryValue* value =
        open->registry->FindValue(open->path, valueName != nullptr ? valueName : "");
    if (value == nullptr) return kErrorFileNotFound;
    return HandOverValue(*value, type, data, dataSize);
}

std::int32_t RegCloseKey(RegKey key) {
    if (IsPredefinedKey(key) || Handles().Remove(key).has_value()) return kErrorSuccess;
    return kErrorInvalidHandle;
}

}  // namespace kelmora

#endif
