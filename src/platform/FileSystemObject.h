#pragma once

#include <cstdint>
#include <string>

// The file operations the program makes, on program path texts (see PathMapping.h). Every
// failure raises a RuntimeError with its number.
namespace kelmora {

class File {
public:
    explicit File(std::uint64_t size) : size_(size) {}
    std::uint64_t Size() const { return size_; }

private:
    std::uint64_t size_;
};

class FileSystemObject {
public:
    bool FolderExists(const std::string& path) const;
    bool FileExists(const std::string& path) const;
    // Raises 53 when the file is missing.
    File GetFile(const std::string& path) const;
    // A destination ending in a separator names a folder and the copy keeps its file name.
    // With overwrite an existing file is replaced, never left half-written.
    void copyfile(const std::string& source, const std::string& destination, bool overwrite = true) const;
    // Raises 58 when the destination exists.
    void movefile(const std::string& source, const std::string& destination) const;
    // With force a read-only file is deleted too.
    void deletefile(const std::string& path, bool force = false) const;
    // With force the folder goes with everything in it, read-only files included.
    void deletefolder(const std::string& path, bool force = false) const;
};

}  // namespace kelmora
