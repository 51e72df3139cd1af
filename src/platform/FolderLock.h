// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One run at a time per game folder: every install and control-panel action holds the folder's
// lock from before its first change to its end, and a second run finds it taken. The lock leaves
// nothing on disk, and the system lets it go when the process ends however it ends: on Linux an
// flock of the folder itself, on Windows a named semaphore derived from the folder's full path.
namespace kelmora {

class FolderLock {
public:
    // Takes the lock of the folder a path text names, without waiting; nothing when another run
    // (in this process or another) holds it. Raises RuntimeError when the folder cannot be opened.
    static std::optional<FolderLock> TryTake(const std::string& folder);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&&) = delete;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

private:
    static constexpr std::intptr_t kNone = -1;
    explicit FolderLock(std::intptr_t handle) : handle_(handle) {}

    // The locked descriptor (Linux) or the taken semaphore's handle (Windows); kNone once moved from.
    std::intptr_t handle_;
};

}  // namespace kelmora
