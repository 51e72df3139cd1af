// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

// A machine of the test's own for the life of the object: a drive C in a fresh folder, and the
// HKEY_LOCAL_MACHINE the program's registry calls read.
//
// On POSIX it is a Wine-style prefix set as WINEPREFIX: dosdevices/c: a relative link to
// drive_c, as wineboot makes it, and the registry its system.reg. Windows has no such prefix and
// a test cannot make drive letters: drive C stays the real one, C() names a fresh folder instead,
// and the process's HKEY_LOCAL_MACHINE is redirected to a key of the test's own under
// HKEY_CURRENT_USER.
namespace kelmora::testing {

class FakeMachine {
public:
    FakeMachine();
    ~FakeMachine();
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    // The host folder drive C's root stands for.
    const std::filesystem::path& DriveC() const { return driveC_; }
    // The program's text for `suffix` (written with backslashes) on drive C: "c:\games\ta" on
    // POSIX, "<DriveC()>\games\ta" on Windows.
    std::string C(const std::string& suffix) const;

#ifndef _WIN32
    // The Wine prefix, for tests of what is Wine's own (its registry file).
    const std::filesystem::path& WinePrefixFolder() const {
        return prefix_;
    }
#endif

    // Stores a value under HKEY_LOCAL_MACHINE\`key` (names separated by backslashes) with the
    // registry type and bytes given. A 32-bit program's key on a 64-bit machine is under
    // Software\Wow6432Node, where the game's setup writes it; the machine of a test on Windows
    // has one view only, and such a key lands under Software there.
    void SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                  const std::string& bytes);
    // A REG_SZ text (UTF-8, stored as Windows stores it: UTF-16 with its terminating zero).
    void SetText(const std::string& key, const std::string& name, const std::string& text);
    // A REG_DWORD.
    void SetNumber(const std::string& key, const std::string& name, std::uint32_t number);

private:
    std::filesystem::path base_;
    std::filesystem::path driveC_;
#ifdef _WIN32
    std::wstring ownKey_;
    void* ownKeyHandle_ = nullptr;
#else
    struct Value {
        std::uint32_t type;
        std::string bytes;
    };
    void WriteRegistryFile() const;

    std::filesystem::path prefix_;
    std::optional<std::string> oldPrefix_;
    std::map<std::string, std::map<std::string, Value> > keys_;
#endif
};

}  // namespace kelmora::testing
