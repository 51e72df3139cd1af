#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace kelmora::testing {

inline constexpr const char* kPatched = "patched archive bytes";
inline constexpr const char* kOriginal = "original archive bytes";

// A game folder as the installation leaves it: the patched rev31.gp3 and the original kept in
// "Orv_Backup" (the enabled state).
class GameFolder {
public:
    GameFolder() {
        WriteFile(gameArchive(), kPatched);
        WriteFile(backupArchive(), kOriginal);
    }

    std::string taDir() const { return dir_.path().string(); }
    std::filesystem::path gameArchive() const { return dir_ / "rev31.gp3"; }
    std::filesystem::path backupFolder() const { return dir_ / "Orv_Backup"; }
    std::filesystem::path backupArchive() const { return backupFolder() / "rev31.gp3"; }
    std::filesystem::path parkedArchive() const { return backupFolder() / "rev31.mod"; }

    // The disabled state, made by hand so tests of one action do not depend on another.
    void MakeDisabled() const {
        WriteFile(parkedArchive(), kPatched);
        WriteFile(gameArchive(), kOriginal);
    }

    // The folder's files as one text, to show that an action changed nothing.
    std::string Snapshot() const {
        std::string snapshot;
        for (const auto& path : {gameArchive(), backupArchive(), parkedArchive()})
            snapshot += path.filename().string() + "=" +
                        (std::filesystem::exists(path) ? ReadFile(path) : "<absent>") + ";";
        return snapshot;
    }

private:
    TempDir dir_;
};

// Makes file permissions bind this thread even when it runs as root, so that a read-only
// folder really refuses writes. Does nothing for an ordinary user, whom they bind anyway.
class ScopedPermissionChecks {
public:
    ScopedPermissionChecks() {
        if (::geteuid() != 0) return;
        ::syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~ScopedPermissionChecks() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    ScopedPermissionChecks(const ScopedPermissionChecks&) = delete;
    ScopedPermissionChecks& operator=(const ScopedPermissionChecks&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

// Gives a file or folder other permissions for the life of the object, then restores them.
class ScopedPermissions {
public:
    ScopedPermissions(std::filesystem::path path, std::filesystem::perms perms)
        : path_(std::move(path)), old_(std::filesystem::status(path_).permissions()) {
        std::filesystem::permissions(path_, perms);
    }
    ~ScopedPermissions() {
        std::error_code ec;
        std::filesystem::permissions(path_, old_, ec);
    }
    ScopedPermissions(const ScopedPermissions&) = delete;
    ScopedPermissions& operator=(const ScopedPermissions&) = delete;

private:
    std::filesystem::path path_;
    std::filesystem::perms old_;
};

inline constexpr auto kReadOnlyFile = std::filesystem::perms::owner_read;
inline constexpr auto kReadOnlyFolder =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec;
inline constexpr auto kNoAccess = std::filesystem::perms::none;

}  // namespace kelmora::testing
