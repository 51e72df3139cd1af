#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace kelmora::testing {

// A game folder as the installation leaves it: the patched rev31.gp3 and the game's own archive
// kept in "Orv_Backup".
class GameFolder {
public:
    GameFolder() {
        WriteFile(gameArchive(), "patched");
        WriteFile(backupArchive(), "original");
    }

    std::string folderText() const { return dir_.path().string(); }
    std::filesystem::path gameArchive() const { return dir_ / "rev31.gp3"; }
    std::filesystem::path backupFolder() const { return dir_ / "Orv_Backup"; }
    std::filesystem::path backupArchive() const { return backupFolder() / "rev31.gp3"; }
    std::filesystem::path parkedArchive() const { return backupFolder() / "rev31.mod"; }

    // The patch disabled, made by hand so that a test of one action does not rest on another.
    void MakeDisabled() const {
        WriteFile(parkedArchive(), "patched");
        WriteFile(gameArchive(), "original");
    }

    // The contents of rev31.gp3, Orv_Backup/rev31.gp3 and Orv_Backup/rev31.mod ("-": absent).
    std::string State() const {
        auto content = [](const std::filesystem::path& path) {
            return std::filesystem::exists(path) ? ReadFile(path) : std::string("-");
        };
        return content(gameArchive()) + "|" + content(backupArchive()) + "|" +
               content(parkedArchive());
    }

private:
    TempDir dir_;
};

// Makes `path` unreadable for the life of the object, even to root: the thread drops the
// capability that lets root ignore file permissions.
class ScopedUnreadable {
public:
    explicit ScopedUnreadable(std::filesystem::path path) : path_(std::move(path)) {
        std::filesystem::permissions(path_, std::filesystem::perms::none);
        ::syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &header_, reduced);
    }
    ~ScopedUnreadable() {
        ::syscall(SYS_capset, &header_, saved_);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    ScopedUnreadable(const ScopedUnreadable&) = delete;
    ScopedUnreadable& operator=(const ScopedUnreadable&) = delete;

private:
    std::filesystem::path path_;
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
};

}  // namespace kelmora::testing
