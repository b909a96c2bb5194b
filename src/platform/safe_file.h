// Whole-file writes that never destroy the old file, and reads that look at
// a file before they take it in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kyd::platform {

// Ignores SIGXFSZ for the whole process, so that a write beyond the
// file-size limit (ulimit -f) fails with EFBIG instead of killing the
// program. Called by replaceFile; programs call it at start-up so that
// appending writers get the error too. Idempotent.
void ignoreFileSizeSignal();

// Replaces the file at path (or the file a symbolic link there points to)
// with the given bytes: they go to a new file in the same folder, every
// write is checked, the file is synced and closed (checked too) and then
// renamed over the old one, whose permissions it takes. On any failure the
// old file is left as it was, the new one is removed, false is returned
// and error (when given) holds "<path>: <reason>"; errnoOut the errno.
bool replaceFile(const std::string& path, const void* data, std::size_t size, std::string* error = nullptr,
                 int* errnoOut = nullptr);
inline bool replaceFile(const std::string& path, const std::string& text, std::string* error = nullptr)
{
    return replaceFile(path, text.data(), text.size(), error);
}

enum class FileAccess { Read, ReadWrite, Create, Append };

// Opens a regular file without ever blocking on it: it is looked at before
// it is opened, opened non-blocking and checked again with fstat, so a
// directory, a FIFO or a device is refused ("not a regular file", errno
// EISDIR for a directory, else EINVAL) instead of being read. Create
// truncates or creates the file; Append creates it when missing and writes
// at its end. Returns null on failure with errno set
// and reason holding the system's text.
std::FILE* openRegularFile(const std::string& path, FileAccess access, std::string* reason = nullptr);

// Whether a file can be appended to: an existing regular file that opens for
// writing, or a missing one that can be created there (it is created and
// removed again; an existing file is left as it was). False with errno set
// and reason holding "<path>: <reason>" ("not a regular file" for a folder,
// errno EISDIR, a FIFO or a device).
bool canAppendTo(const std::string& path, std::string* reason = nullptr);

enum class ReadResult { Ok, Missing, Failed };

// Reads a whole regular file of at most maxSize bytes into out (replaced
// only on success). A larger file, or one that grows past maxSize while it
// is read, fails without being read ("larger than N MB", errno EFBIG).
// Missing: the file (or a folder on its path) does not exist.
ReadResult readRegularFile(const std::string& path, std::size_t maxSize, std::vector<std::uint8_t>& out,
                           std::string* reason = nullptr);
ReadResult readRegularFile(const std::string& path, std::size_t maxSize, std::string& out,
                           std::string* reason = nullptr);

} // namespace kyd::platform
