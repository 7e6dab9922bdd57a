// Byte access to files, opened for one read or write and closed at once.
// Every read reports how much of the request the file could supply.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace halvex {

// Length in bytes, or -1 when the path is not a readable regular file.
int64_t fileLength(const std::string& path);

// Reads up to `bytes` bytes at `offset` into dst; returns the count read
// (0 when the file can't be opened or the offset lies past its end). The part
// of dst that the file could not fill is set to zero.
size_t readAt(const std::string& path, int64_t offset, void* dst, size_t bytes);

// The first `limit` bytes of a file (all of it when shorter).
std::vector<uint8_t> readHead(const std::string& path, size_t limit);

// Writes `bytes` bytes at `offset`, creating the file when needed and growing
// it as needed; false when the file can't be written.
bool writeAt(const std::string& path, int64_t offset, const void* src, size_t bytes);

// Replaces the file's whole content: written beside it first, then renamed
// over it, so a failed write leaves the old file as it was. False when the
// new content could not be written.
bool replaceFile(const std::string& path, const std::string& content);

// The names of the regular files of a folder, sorted by name, optionally only
// those whose extension matches `extension` without regard to case (".raw").
std::vector<std::string> folderFiles(const std::string& folder, const std::string& extension = "");

// Folder part of a path with its trailing separator ("/a/b/c.dcm" -> "/a/b/"),
// and the file name part.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// The folder of halvex's executable, with its trailing separator; empty
// when it can't be told. The kernel library, the decoder helper and the
// shipped settings are found from it. It is the running executable's folder
// unless code of halvex runs inside another program (the Python module, whose
// executable is the interpreter) that named, with setExecutableFolder, the
// folder halvex's executable has in the same build or install.
std::string executableFolder();
void setExecutableFolder(const std::string& folder);

// Calls step(done, left), which reads or writes some of the `left` bytes
// after the first `done` and returns how many (0 or less: it failed), until
// all `bytes` are through; false when a step fails. For system calls that
// may move fewer bytes than asked.
template <typename Step>
bool moveAll(size_t bytes, Step step) {
    for (size_t done = 0; done < bytes;) {
        const auto n = step(done, bytes - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace halvex
