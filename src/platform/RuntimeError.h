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
    RuntimeError(int number, std::string description);

    int number() const { return number_; }
    const std::string& description() const { return description_; }

private:
    int number_;
    std::string description_;
};

// The run-time error that best describes a failed host operation; `fallback`
// is used for codes without a closer match.
RuntimeError ErrorFromSystem(std::error_code code, int fallback = kDeviceIOError);

}  // namespace kelmora
