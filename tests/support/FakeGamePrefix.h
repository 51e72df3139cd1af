// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace kelmora::testing {

// Why a test of what a Wine prefix holds skips on Windows.
inline constexpr const char* kNoWinePrefixes = "Windows has no Wine prefixes to look in";

// A Wine prefix in a temporary folder, made the current one: drive C: is its drive_c folder and
// its system.reg holds the game's uninstall key with the values given. The home folder is an empty
// one beside it, so that nothing looks for the game in the real one. On Windows, where drive C is
// the machine's, it is only the folders: the tests that use it skip there (kNoWinePrefixes).
class FakeWinePrefix {
public:
    FakeWinePrefix()
        : prefix_(dir_ / "prefix"),
          env_("WINEPREFIX", prefix_.string()),
          home_("HOME", (dir_ / "home").string()) {
        std::filesystem::create_directories(DriveC());
        std::filesystem::create_directories(prefix_ / "dosdevices");
#ifndef _WIN32
        std::filesystem::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
#endif
    }

    std::filesystem::path DriveC() const {
        return prefix_ / "drive_c";
    }
    std::filesystem::path Root() const {
        return dir_.path();
    }

    // Writes system.reg with the game's key holding `valueLines` ("\"Dir\"=\"C:\\\\TA\"").
    void WriteGameKey(const std::string& valueLines) const {
        WriteFile(prefix_ / "system.reg",
                  "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                  "#arch=win32\n\n"
                  "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Total "
                  "Annihilation] 1796686938\n#time=1dd86a498e65e68\n" +
                      valueLines + "\n");
    }

    // Writes system.reg with the game folder as "Dir", its separators escaped as Wine does.
    void WriteGameFolder(const std::string& folder) const {
        std::string escaped;
        for (char c : folder) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        WriteGameKey("\"Dir\"=\"" + escaped + "\"");
    }

private:
    TempDir dir_;
    std::filesystem::path prefix_;
    ScopedEnv env_;
    ScopedEnv home_;
};

// A Wine prefix at `prefix` as Wine lays one out (drive C: is its drive_c), whose system.reg holds
// the game's uninstall key in the 32-bit view with `valueLines`, or no game key at all when they
// are empty.
inline void MakeWinePrefix(const std::filesystem::path& prefix, const std::string& valueLines) {
    WriteFile(prefix / "system.reg",
              "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
              "#arch=win64\n\n" +
                  (valueLines.empty()
                       ? std::string()
                       : "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
                         "Uninstall\\\\Total Annihilation]\n" +
                             valueLines + "\n"));
    std::filesystem::create_directories(prefix / "drive_c");
    std::filesystem::create_directories(prefix / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
}

}  // namespace kelmora::testing
