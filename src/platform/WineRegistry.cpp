// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WineRegistry.h"

#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/PathMapping.h"
#include "platform/Registry.h"

namespace kelmora {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// Far above any real prefix's system.reg; a larger file is taken for damage, not read.
constexpr std::uintmax_t kLargestFile = std::uintmax_t{128} << 20;
// Links that lead further than this go in a circle.
constexpr int kMostLinkHops = 16;
constexpr std::string_view kLinkValueName = "symboliclinkvalue";
constexpr std::string_view kMachineRoot = "\\registry\\machine";

// The file's lines, without line ends. Wine reads each line as a C string, so a NUL byte ends
// the line's content.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    std::optional<std::string_view> Next() {
        if (pos_ >= text_.size()) return std::nullopt;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        line = line.substr(0, line.find('\0'));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

size_t SkipSpaces(std::string_view text, size_t pos) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    return pos;
}

std::string_view TrimLeft(std::string_view text) {
    return text.substr(SkipSpaces(text, 0));
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigitIn(std::string_view text, size_t pos, int base) {
    if (pos >= text.size()) return false;
    const int digit = DigitValue(text[pos]);
    return digit >= 0 && digit < base;
}

// Up to `most` digits of `base` at `pos`, greedily, as one code unit.
char16_t ReadDigits(std::string_view text, size_t& pos, int base, int most) {
    unsigned value = 0;
    for (int count = 0; count < most && IsDigitIn(text, pos, base); ++count) {
        value = value * base + DigitValue(text[pos++]);
    }
    return static_cast<char16_t>(value);
}

// The code unit an escape stands for, the backslash already passed; nothing when the character
// after the backslash simply stands for itself (`\\`, `\"`, `\[`, `\]`).
std::optional<char16_t> EscapedUnit(std::string_view text, size_t& pos) {
    constexpr std::string_view kLetters = "abefnrtv";
    constexpr char16_t kControls[] = {0x07, 0x08, 0x1B, 0x0C, 0x0A, 0x0D, 0x09, 0x0B};
    if (const size_t letter = kLetters.find(text[pos]); letter != std::string_view::npos) {
        ++pos;
        return kControls[letter];
    }
    if (text[pos] == 'x') {
        ++pos;
        if (!IsDigitIn(text, pos, 16)) return u'x';
        return ReadDigits(text, pos, 16, 4);
    }
    if (IsDigitIn(text, pos, 8)) return ReadDigits(text, pos, 8, 3);
    return std::nullopt;
}

struct Unescaped {
    std::u16string text;
    size_t next;  // just past the closing character
};

// Wine's escaped text up to the character `end`; nothing when the text is not closed. Bytes
// outside escapes are UTF-8.
std::optional<Unescaped> Unescape(std::string_view text, char end) {
    std::u16string out;
    std::string plain;
    size_t pos = 0;
    while (pos < text.size() && text[pos] != end) {
        if (text[pos] != '\\') {
            plain += text[pos++];
            continue;
        }
        if (++pos == text.size()) return std::nullopt;
        std::optional<char16_t> unit = EscapedUnit(text, pos);
        if (!unit) {
            plain += text[pos++];
            continue;
        }
        out += Utf8ToUtf16(plain);
        plain.clear();
        out += *unit;
    }
    if (pos == text.size()) return std::nullopt;
    out += Utf8ToUtf16(plain);
    return Unescaped{std::move(out), pos + 1};
}

// The form keys are filed under: lower case, one backslash between names.
std::string KeyPathForm(std::string_view path) {
    std::string form;
    for (const std::string& name : KeyPathNames(path)) form += form.empty() ? name : "\\" + name;
    return form;
}

std::vector<std::uint8_t> BytesOf(const std::u16string& units) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// A quoted text; the registry keeps it with its terminating zero.
std::optional<RegistryValue> ParseText(std::uint32_t type, std::string_view text) {
    std::optional<Unescaped> parsed = Unescape(text, '"');
    if (!parsed) return std::nullopt;
    return RegistryValue{type, BytesOf(parsed->text + u'\0')};
}

std::optional<RegistryValue> ParseDword(std::string_view text) {
    size_t pos = 0;
    std::uint32_t number = 0;
    while (pos < 8 && IsDigitIn(text, pos, 16)) number = number * 16 + DigitValue(text[pos++]);
    if (pos == 0 || SkipSpaces(text, pos) != text.size()) return std::nullopt;
    return RegistryValue{
        kRegDword,
        {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
         static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}

// Comma-separated hex bytes; a line ending in a backslash goes on in the next line.
std::optional<RegistryValue> ParseBytes(std::uint32_t type, std::string_view text,
                                        LineReader& lines) {
    RegistryValue value{type, {}};
    for (;;) {
        size_t pos = 0;
        while (IsDigitIn(text, pos, 16)) {
            unsigned byte = 0;
            while (IsDigitIn(text, pos, 16)) {
                byte = byte * 16 + DigitValue(text[pos++]);
                if (byte > 0xFF) return std::nullopt;
            }
            value.data.push_back(static_cast<std::uint8_t>(byte));
            pos = SkipSpaces(text, pos);
            if (pos < text.size() && text[pos] == ',') pos = SkipSpaces(text, pos + 1);
        }
        if (pos == text.size()) return value;
        if (text[pos] != '\\') return std::nullopt;
        std::optional<std::string_view> next = lines.Next();
        if (!next) return std::nullopt;
        text = TrimLeft(*next);
    }
}

// `hex(N):` with N in hex.
std::optional<RegistryValue> ParseTypedBytes(std::string_view text, LineReader& lines) {
    size_t pos = 0;
    std::uint32_t type = 0;
    while (IsDigitIn(text, pos, 16) && pos < 8) type = type * 16 + DigitValue(text[pos++]);
    if (pos == 0 || text.substr(pos, 2) != "):") return std::nullopt;
    return ParseBytes(type, text.substr(pos + 2), lines);
}

std::optional<RegistryValue> ParseData(std::string_view text, LineReader& lines) {
    struct TextKind {
        std::string_view tag;
        std::uint32_t type;
    };
    constexpr TextKind kTextKinds[] = {{"\"", kRegSz},
                                       {"str:\"", kRegSz},
                                       {"str(2):\"", kRegExpandSz},
                                       {"str(7):\"", kRegMultiSz}};
    for (const TextKind& kind : kTextKinds) {
        if (text.starts_with(kind.tag)) return ParseText(kind.type, text.substr(kind.tag.size()));
    }
    if (text.starts_with("dword:")) return ParseDword(text.substr(6));
    if (text.starts_with("hex:")) return ParseBytes(kRegBinary, text.substr(4), lines);
    if (text.starts_with("hex(")) return ParseTypedBytes(text.substr(4), lines);
    return std::nullopt;
}

// `"name"=data` or `@=data` (the default value); nothing when damaged.
std::optional<std::pair<std::string, RegistryValue>> ParseValue(std::string_view line,
                                                                LineReader& lines) {
    std::u16string name;
    size_t pos = 1;
    if (line.front() == '"') {
        std::optional<Unescaped> parsed = Unescape(line.substr(1), '"');
        if (!parsed) return std::nullopt;
        name = std::move(parsed->text);
        pos += parsed->next;
    }
    pos = SkipSpaces(line, pos);
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    std::optional<RegistryValue> value = ParseData(line.substr(SkipSpaces(line, pos + 1)), lines);
    if (!value) return std::nullopt;
    return std::pair{LowerCase(Utf16ToUtf8(name)), std::move(*value)};
}

// `[path] timestamp`: the key's path in filing form; nothing when damaged.
std::optional<std::string> ParseKeyLine(std::string_view line) {
    std::optional<Unescaped> parsed = Unescape(line.substr(1), ']');
    if (!parsed) return std::nullopt;
    return KeyPathForm(Utf16ToUtf8(parsed->text));
}

}  // namespace

std::vector<std::string> KeyPathNames(std::string_view path) {
    std::vector<std::string> names;
    std::string name;
    for (char c : LowerCase(path)) {
        if (c != '\\') {
            name += c;
        } else if (!name.empty()) {
            names.push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty()) names.push_back(std::move(name));
    return names;
}

RegistryFile WineRegistry::Read(const fs::path& file) {
    std::error_code ec;
    if (fs::status(file, ec).type() == fs::file_type::not_found)
        return {RegistryFileStatus::kMissing, {}};
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kLargestFile) return {RegistryFileStatus::kUnreadable, {}};
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size)) ||
        LineReader(text).Next() != kHeader)
        return {RegistryFileStatus::kUnreadable, {}};
    return {RegistryFileStatus::kRead, std::move(text)};
}

WineRegistry WineRegistry::Parse(std::string_view text) {
    WineRegistry registry;
    LineReader lines(text);
    if (lines.Next() != kHeader) return registry;
    Key* key = nullptr;
    while (std::optional<std::string_view> next = lines.Next()) {
        const std::string_view line = TrimLeft(*next);
        if (line.empty()) continue;
        if (line.front() == '[') {
            std::optional<std::string> path = ParseKeyLine(line);
            key = path ? &registry.AddKey(*path) : nullptr;
        } else if ((line.front() == '"' || line.front() == '@') && key != nullptr) {
            if (auto value = ParseValue(line, lines))
                key->values[value->first] = std::move(value->second);
        } else if (line.starts_with("#link") && key != nullptr) {
            key->isLink = true;
        }
    }
    return registry;
}

WineRegistry::Key& WineRegistry::AddKey(const std::string& path) {
    std::string ancestor;
    for (const std::string& name : KeyPathNames(path)) {
        ancestor += ancestor.empty() ? name : "\\" + name;
        present_.insert(ancestor);
    }
    return keys_[path];
}

std::optional<std::string> WineRegistry::LinkTarget(const Key& key) const {
    auto value = key.values.find(std::string(kLinkValueName));
    if (value == key.values.end() || value->second.type != kRegLink) return std::nullopt;
    std::u16string units = Utf16Units(value->second.data);
    while (!units.empty() && units.back() == u'\0') units.pop_back();
    const std::string target = LowerCase(Utf16ToUtf8(units));
    if (!target.starts_with(kMachineRoot)) return std::nullopt;
    const std::string_view rest = std::string_view(target).substr(kMachineRoot.size());
    if (!rest.empty() && rest.front() != '\\') return std::nullopt;
    return KeyPathForm(rest);
}

std::optional<std::string> WineRegistry::FindKey(std::string_view path) const {
    std::string current;
    int hops = 0;
    for (const std::string& name : KeyPathNames(path)) {
        current += current.empty() ? name : "\\" + name;
        for (auto key = keys_.find(current); key != keys_.end() && key->second.isLink;
             key = keys_.find(current)) {
            std::optional<std::string> target = LinkTarget(key->second);
            if (!target || ++hops > kMostLinkHops) return std::nullopt;
            current = *target;
        }
        if (!current.empty() && !present_.contains(current)) return std::nullopt;
    }
    return current;
}

std::optional<std::string> WineRegistry::FindKeyIn32BitView(std::string_view path) const {
    const std::vector<std::string> names = KeyPathNames(path);
    if (names.size() >= 2 && names[0] == "software" && names[1] != "wow6432node") {
        std::string redirected = "software\\wow6432node";
        for (size_t i = 1; i < names.size(); ++i) redirected += "\\" + names[i];
        if (std::optional<std::string> key = FindKey(redirected)) return key;
    }
    return FindKey(path);
}

const RegistryValue* WineRegistry::FindValue(const std::string& key, std::string_view name) const {
    auto found = keys_.find(key);
    if (found == keys_.end()) return nullptr;
    auto value = found->second.values.find(LowerCase(name));
    return value == found->second.values.end() ? nullptr : &value->second;
}

}  // namespace kelmora
