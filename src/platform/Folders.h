// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Folder operations outside the file-system object: one-level creation, attributes and renaming.
namespace kelmora {

inline constexpr int kNormalAttribute = 0;
inline constexpr int kHiddenAttribute = 2;

// Creates one folder; its parent must exist (76 otherwise). Raises 75 when it exists already.
void CreateFolder(const std::string& path);

// Sets a folder's attributes; kHiddenAttribute hides it on Windows and does nothing elsewhere.
void SetFolderAttributes(const std::string& path, int attributes);

// Renames a file or folder in one step: 53 when the old name is missing, 58 when the new one
// exists.
void RenamePath(const std::string& oldPath, const std::string& newPath);

}  // namespace kelmora
