// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeMachine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/Registry.h"
#include "platform/RegistryData.h"
#include "support/Portable.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#endif

namespace kelmora::testing {

namespace fs = std::filesystem;

void FakeMachine::SetText(const std::string& key, const std::string& name,
                          const std::string& text) {
    const std::u16string units = Utf8ToUtf16(text) + u'\0';
    std::string bytes;
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    SetValue(key, name, kRegSz, bytes);
}

void FakeMachine::SetNumber(const std::string& key, const std::string& name, std::uint32_t number) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((number >> shift) & 0xFF);
    SetValue(key, name, kRegDword, bytes);
}

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& text) {
    return PathFromUtf8(text).wstring();
}

// "Software\Wow6432Node\X" as "Software\X": the redirected registry has one view only.
std::string InTheOnlyView(const std::string& key) {
    const std::string redirected = "software\\wow6432node\\";
    std::string start = key.substr(0, redirected.size());
    for (char& c : start) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return start == redirected ? "Software\\" + key.substr(redirected.size()) : key;
}

}  // namespace

FakeMachine::FakeMachine() : base_(MakeTempFolder()), driveC_(base_ / "c") {
    fs::create_directory(driveC_);
    ownKey_ = L"Software\\" + base_.filename().wstring();
    HKEY own = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, ownKey_.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &own, nullptr) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, own) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot redirect HKEY_LOCAL_MACHINE");
    }
    ownKeyHandle_ = own;
}

FakeMachine::~FakeMachine() {
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegCloseKey(static_cast<HKEY>(ownKeyHandle_));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, ownKey_.c_str());
    RemoveTree(base_);
}

std::string FakeMachine::C(const std::string& suffix) const {
    return HostText(driveC_) + suffix;
}

void FakeMachine::SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                           const std::string& bytes) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(InTheOnlyView(key)).c_str(), 0, nullptr,
                          REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &opened,
                          nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the key " + key);
    }
    const LONG code = ::RegSetValueExW(opened, Wide(name).c_str(), 0, type,
                                       reinterpret_cast<const BYTE*>(bytes.data()),
                                       static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(opened);
    if (code != ERROR_SUCCESS) throw std::runtime_error("cannot set the value " + name);
}

#else

namespace {

// A name in a Wine registry file: backslashes and quotes escaped.
std::string EscapedName(const std::string& name) {
    std::string escaped;
    for (char c : name) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

FakeMachine::FakeMachine()
    : base_(MakeTempFolder()), driveC_(base_ / "prefix/dosdevices/c:"), prefix_(base_ / "prefix") {
    fs::create_directories(prefix_ / "dosdevices");
    fs::create_directories(prefix_ / "drive_c");
    fs::create_directory_symlink("../drive_c", driveC_);
    if (const char* old = std::getenv("WINEPREFIX")) oldPrefix_ = old;
    SetEnvironment("WINEPREFIX", prefix_.string());
}

FakeMachine::~FakeMachine() {
    if (oldPrefix_) {
        SetEnvironment("WINEPREFIX", *oldPrefix_);
    } else {
        UnsetEnvironment("WINEPREFIX");
    }
    RemoveTree(base_);
}

std::string FakeMachine::C(const std::string& suffix) const {
    return "c:" + suffix;
}

void FakeMachine::SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                           const std::string& bytes) {
    keys_[key][name] = Value{type, bytes};
    WriteRegistryFile();
}

// Every value in hex(type): notation, which holds any type and any bytes.
void FakeMachine::WriteRegistryFile() const {
    std::string file =
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
    for (const auto& [key, values] : keys_) {
        file += "\n[" + EscapedName(key) + "] 0\n";
        for (const auto& [name, value] : values) {
            char type[16];
            std::snprintf(type, sizeof type, "hex(%x):", value.type);
            file += (name.empty() ? "@" : "\"" + EscapedName(name) + "\"") + "=" + type;
            for (size_t i = 0; i < value.bytes.size(); ++i) {
                char byte[4];
                std::snprintf(byte, sizeof byte, "%02x",
                              static_cast<unsigned char>(value.bytes[i]));
                file += (i ? "," : "") + std::string(byte);
            }
            file += "\n";
        }
    }
    std::ofstream(prefix_ / "system.reg", std::ios::binary) << file;
}

#endif

}  // namespace kelmora::testing
