#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace kelmora::testing {

// A Wine prefix in a temporary folder, made the current one: drive C: is its drive_c folder and
// its system.reg holds the game's uninstall key with the values given.
class FakeWinePrefix {
public:
    FakeWinePrefix() : prefix_(dir_ / "prefix"), env_("WINEPREFIX", prefix_.string()) {
        std::filesystem::create_directories(DriveC());
        std::filesystem::create_directories(prefix_ / "dosdevices");
        std::filesystem::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
    }

    std::filesystem::path DriveC() const { return prefix_ / "drive_c"; }
    std::filesystem::path Root() const { return dir_.path(); }

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
};

}  // namespace kelmora::testing
