#pragma once

#include <string>

// The program-wide state the windows share.
namespace kelmora {

// The game folder: a full path text, no trailing separator except on a drive root.
extern std::string TADir;
// The package folder, the same form as TADir.
extern std::string UfoDir;
// Set by every failed extraction; chooses the install's outcome message.
extern bool InstallErrors;

}  // namespace kelmora
