// SPDX-License-Identifier: GPL-3.0-or-later
// The Wine registry reader on any text: parse it, then look up the game's key the way the program
// does, every key the text names, and hand the values over as RegQueryValueExA would.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzTarget.h"
#include "platform/Registry.h"
#include "platform/WineRegistry.h"

using namespace kelmora;

namespace {

constexpr const char* kGameKeys[] = {
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation",
    "",
    "Software",
};

void HandOver(const RegistryValue& value) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    FUZZ_CHECK(HandOverValue(value, &type, nullptr, &size) == kErrorSuccess);
    FUZZ_CHECK(type == value.type);
    // Exactly the room needed: the data fits; one byte less: "more data" and the same size.
    std::vector<std::uint8_t> buffer(size);
    std::uint32_t room = size;
    FUZZ_CHECK(HandOverValue(value, nullptr, buffer.data(), &room) == kErrorSuccess);
    FUZZ_CHECK(room == size);
    if (size > 0) {
        // A real buffer (never null) that claims one byte less than needed.
        std::vector<std::uint8_t> small(size);
        room = size - 1;
        FUZZ_CHECK(HandOverValue(value, nullptr, small.data(), &room) == kErrorMoreData);
        FUZZ_CHECK(room == size);
    }
    // Text reaches the program ending in its one counted zero byte.
    if ((value.type == kRegSz || value.type == kRegExpandSz) && size > 0) {
        FUZZ_CHECK(buffer.back() == 0);
    }
}

void LookUp(const WineRegistry& registry, std::string_view path) {
    std::optional<std::string> key = registry.FindKey(path);
    if (!key) return;
    for (const char* name : {"Dir", "", "SymbolicLinkValue"}) {
        if (const RegistryValue* value = registry.FindValue(*key, name)) HandOver(*value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const WineRegistry registry = WineRegistry::Parse(text);
    for (const char* path : kGameKeys) LookUp(registry, path);
    // Every key line's text, taken roughly (escapes left as they are), as a path to look up.
    for (size_t at = text.find('['); at != std::string_view::npos; at = text.find('[', at + 1)) {
        const size_t end = text.find(']', at);
        if (end == std::string_view::npos) break;
        LookUp(registry, text.substr(at + 1, end - at - 1));
    }
    return 0;
}
