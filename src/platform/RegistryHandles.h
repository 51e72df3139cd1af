// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "platform/Registry.h"

namespace kelmora {

// The program's 32-bit key handles, each standing for whatever the platform opened (`Key`).
template <typename Key>
class RegistryHandles {
public:
    RegKey Add(Key key) {
        std::lock_guard lock(mutex_);
        const RegKey handle = next_++;
        keys_.emplace(handle, std::move(key));
        return handle;
    }

    std::optional<Key> Find(RegKey handle) const {
        std::lock_guard lock(mutex_);
        auto found = keys_.find(handle);
        if (found == keys_.end()) return std::nullopt;
        return found->second;
    }

    // What the handle stood for, now released; nothing when it was not open.
    std::optional<Key> Remove(RegKey handle) {
        std::lock_guard lock(mutex_);
        auto found = keys_.find(handle);
        if (found == keys_.end()) return std::nullopt;
        Key key = std::move(found->second);
        keys_.erase(found);
        return key;
    }

private:
    mutable std::mutex mutex_;
    std::map<RegKey, Key> keys_;
    RegKey next_ = 1;
};

// HKEY_CLASSES_ROOT to HKEY_CURRENT_CONFIG: the roots every program may use without opening.
inline bool IsPredefinedKey(RegKey key) {
    return key >= 0x80000000u && key <= 0x80000006u;
}

}  // namespace kelmora
