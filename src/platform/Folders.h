#pragma once

#include <string>

// Folder operations outside the file-system object: one-level creation, attributes, and the
// process's current folder.
namespace kelmora {

inline constexpr int vbNormal = 0;
inline constexpr int vbHidden = 2;

// Creates one folder; its parent must exist (76 otherwise). Raises 75 when it exists already.
void MkDir(const std::string& path);

// Sets a folder's attributes; vbHidden hides it on Windows and does nothing elsewhere.
void SetAttr(const std::string& path, int attributes);

// Renames a file or folder in one step (the Name statement): 53 when the old name is missing,
// 58 when the new one exists.
void Name(const std::string& oldPath, const std::string& newPath);

// The process's current folder, as a folder text.
std::string CurDir();

}  // namespace kelmora
