// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace kelmora {

// The numbered run-time errors every platform operation raises, so the program
// can report failures the way the game's players know from Windows programs.
enum ErrorNumber : int {
    kInvalidArgument = 5,
    kUserInterrupt = 18,
    kBadFileName = 52,
    kFileNotFound = 53,
    kDeviceIOError = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
};

// The fixed description of a run-time error number ("File not found" for 53).
std::string ErrorDescription(int number);

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description, std::string path = {});

    int number() const { return number_; }
    const std::string& description() const { return description_; }
    // The path text or entry the error concerns, for the player to find; empty when none is known.
    const std::string& path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

private:
    int number_;
    std::string description_;
    std::string path_;
};

// Makes `error` concern `path`, unless it names a path already: the innermost call that knows
// which path failed names it.
inline void NamePath(RuntimeError& error, const std::string& path) {
    if (error.path().empty()) error.SetPath(path);
}

// The run-time error that best describes a failed host operation; `fallback`
// is used for codes without a closer match.
RuntimeError ErrorFromSystem(std::error_code code, int fallback = kDeviceIOError);

}  // namespace kelmora
