// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Registry.h"

#ifdef _WIN32

#include "platform/WindowsApi.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/RegistryData.h"
#include "platform/RegistryHandles.h"

// The real registry, read through the wide entry points so that texts reach the program as
// UTF-8 whatever the system's code page.
namespace kelmora {

namespace {

RegistryHandles<HKEY>& Handles() {
    static RegistryHandles<HKEY> table;
    return table;
}

std::optional<HKEY> Lookup(RegKey key) {
    // The predefined keys are the 32-bit values sign-extended, as the SDK defines them.
    if (IsPredefinedKey(key)) {
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(key)));
    }
    return Handles().Find(key);
}

std::wstring Wide(const char* text) {
    const std::u16string units = Utf8ToUtf16(text != nullptr ? text : "");
    return std::wstring(units.begin(), units.end());
}

// The stored value, read again while it grows between the size query and the read.
LONG ReadValue(HKEY key, const std::wstring& name, RegistryValue& value) {
    constexpr int kAttempts = 4;
    LONG code = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kAttempts && code == ERROR_MORE_DATA; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        code = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (code != ERROR_SUCCESS) return code;
        value.data.resize(size);
        code = ::RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                  size != 0 ? value.data.data() : nullptr, &size);
        value.type = type;
        value.data.resize(size);
    }
    return code;
}

}  // namespace

std::int32_t RegOpenKeyExA(RegKey key, const char* subKey, std::uint32_t options,
                           std::uint32_t /*samDesired*/, RegKey* result) {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = 0;
    std::optional<HKEY> parent = Lookup(key);
    if (!parent) return kErrorInvalidHandle;
    // Read-only, whatever the caller asks for: a limited account is refused write access, and
    // nothing here writes. The 32-bit view first, because the game's setup is a 32-bit program;
    // then the 64-bit view, where a 64-bit setup (or a hand-made entry) leaves the key, as the
    // Wine prefix's registry is read.
    const std::wstring path = Wide(subKey);
    HKEY opened = nullptr;
    LONG code =
        ::RegOpenKeyExW(*parent, path.c_str(), options, KEY_READ | KEY_WOW64_32KEY, &opened);
    if (code == ERROR_FILE_NOT_FOUND) {
        code = ::RegOpenKeyExW(*parent, path.c_str(), options, KEY_READ | KEY_WOW64_64KEY, &opened);
    }
    if (code != ERROR_SUCCESS) return code;
    *result = Handles().Add(opened);
    return kErrorSuccess;
}

std::int32_t RegQueryValueExA(RegKey key, const char* valueName, std::uint32_t* reserved,
                              std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    if (reserved != nullptr) return kErrorInvalidParameter;
    std::optional<HKEY> open = Lookup(key);
    if (!open) return kErrorInvalidHandle;
    RegistryValue value;
    const LONG code = ReadValue(*open, Wide(valueName), value);
    if (code != ERROR_SUCCESS) return code;
    return HandOverValue(value, type, data, dataSize);
}

std::int32_t RegCloseKey(RegKey key) {
    if (IsPredefinedKey(key)) return kErrorSuccess;
    std::optional<HKEY> open = Handles().Remove(key);
    if (!open) return kErrorInvalidHandle;
    return ::RegCloseKey(*open);
}

void UseDemoRegistry(const std::string& keyPath, const std::string& valueName,
                     const std::string& text) {
    const std::wstring demoRoot = L"Software\\Kelmora\\Demo";
    HKEY root = nullptr;
    HKEY key = nullptr;
    const std::wstring value = Wide(text.c_str());
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, demoRoot.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &root, nullptr) != ERROR_SUCCESS ||
        ::RegCreateKeyExW(root, Wide(keyPath.c_str()).c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot make the demo's registry key");
    }
    const LONG written = ::RegSetValueExW(key, Wide(valueName.c_str()).c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(value.c_str()),
                                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    // The redirection keeps its own reference to the key.
    const LONG redirected = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, root);
    ::RegCloseKey(root);
    if (written != ERROR_SUCCESS || redirected != ERROR_SUCCESS)
        throw std::runtime_error("cannot make the demo's registry key");
}

}  // namespace kelmora

#endif
