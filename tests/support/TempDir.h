// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/Portable.h"

namespace kelmora::testing {

// A fresh folder under the system's temporary folder (or `parent`), removed with everything in it
// at the end.
class TempDir {
public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path())
        : path_(MakeTempFolder(parent)) {}
    ~TempDir() { RemoveTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the life of the object and restores the old value after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        SetEnvironment(name, value);
    }
    ~ScopedEnv() {
        if (old_) SetEnvironment(name_, *old_);
        else UnsetEnvironment(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Changes the process's current folder for the life of the object.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedCurrentDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::filesystem::path old_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Creates empty files `names` in `folder`.
inline void MakeFiles(const std::filesystem::path& folder,
                      std::initializer_list<const char*> names) {
    for (const char* name : names) WriteFile(folder / name, "");
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The shared fixtures folder, or nothing when this checkout has none beside it.
inline std::optional<std::filesystem::path> SharedFixtures() {
    std::filesystem::path dir = std::filesystem::path(KELMORA_SHARED_DIR) / "fixtures";
    if (std::filesystem::is_directory(dir)) return dir;
    return std::nullopt;
}

// The shared fixtures' real archives, or nothing when this checkout has none beside it.
inline std::optional<std::filesystem::path> HpiFixtures() {
    std::optional<std::filesystem::path> shared = SharedFixtures();
    if (!shared || !std::filesystem::is_directory(*shared / "hpi")) return std::nullopt;
    return *shared / "hpi";
}

}  // namespace kelmora::testing
