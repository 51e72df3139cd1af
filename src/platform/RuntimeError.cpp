// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RuntimeError.h"

#include <cerrno>

namespace kelmora {

std::string ErrorDescription(int number) {
    switch (number) {
        case kInvalidArgument: return "Invalid procedure call or argument";
        case kUserInterrupt: return "User interrupt occurred";
        case kBadFileName: return "Bad file name or number";
        case kFileNotFound: return "File not found";
        case kDeviceIOError: return "Device I/O error";
        case kFileAlreadyExists: return "File already exists";
        case kDiskFull: return "Disk full";
        case kPermissionDenied: return "Permission denied";
        case kPathFileAccessError: return "Path/File access error";
        case kPathNotFound: return "Path not found";
        default: return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description, std::string path)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      path_(std::move(path)) {}

RuntimeError ErrorFromSystem(std::error_code code, int fallback) {
    // The portable condition, so that Windows system codes map like POSIX errno values.
    std::error_condition condition = code.default_error_condition();
    if (condition.category() == std::generic_category()) {
        switch (condition.value()) {
            case ENOENT: return RuntimeError(kFileNotFound);
            case ENOTDIR: return RuntimeError(kPathNotFound);
            case EEXIST: return RuntimeError(kFileAlreadyExists);
#ifdef EDQUOT  // not on Windows
            case EDQUOT:
#endif
            case ENOSPC: return RuntimeError(kDiskFull);
            case EACCES:
            case EPERM:
            case EROFS:
            case ETXTBSY:
            case EBUSY: return RuntimeError(kPermissionDenied);
            case ENAMETOOLONG:
            case EINVAL:
            case EILSEQ: return RuntimeError(kBadFileName);
            case EIO: return RuntimeError(kDeviceIOError);
            default: break;
        }
    }
    return RuntimeError(fallback);
}

}  // namespace kelmora
