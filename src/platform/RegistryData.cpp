// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegistryData.h"

#include <algorithm>
#include <limits>

#include "platform/Registry.h"

namespace kelmora {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
        return;
    }
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
}

// The code point of the UTF-8 sequence at `pos`, advancing past it; a byte that starts no
// valid sequence stands for U+FFFD and is passed over alone.
char32_t DecodeUtf8(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) return lead;
    const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    if (length == 0) return kReplacement;
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (pos + i - 1 >= text.size()) return kReplacement;
        const auto next = static_cast<unsigned char>(text[pos + i - 1]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return kReplacement;
    }
    pos += length - 1;
    return code;
}

bool IsText(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
        } else {
            AppendUtf8(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (size_t pos = 0; pos < text.size();) AppendUtf16(out, DecodeUtf8(text, pos));
    return out;
}

std::u16string Utf16Units(const std::vector<std::uint8_t>& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    return units;
}

std::vector<std::uint8_t> ProgramData(const RegistryValue& value) {
    if (!IsText(value.type)) return value.data;
    std::u16string units = Utf16Units(value.data);
    if (!units.empty() && units.back() != u'\0') units += u'\0';
    std::string text = Utf16ToUtf8(units);
    return {text.begin(), text.end()};
}

std::int32_t HandOverValue(const RegistryValue& value, std::uint32_t* type, std::uint8_t* data,
                           std::uint32_t* dataSize) {
    if (data != nullptr && dataSize == nullptr) return kErrorInvalidParameter;
    if (type != nullptr) *type = value.type;
    if (dataSize == nullptr) return kErrorSuccess;
    std::vector<std::uint8_t> bytes = ProgramData(value);
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return kErrorInvalidParameter;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data != nullptr && *dataSize < needed) {
        *dataSize = needed;
        return kErrorMoreData;
    }
    if (data != nullptr) std::copy(bytes.begin(), bytes.end(), data);
    *dataSize = needed;
    return kErrorSuccess;
}

}  // namespace kelmora
