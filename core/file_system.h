// Small file-system steps that the serial link and the spreadsheet share: the text of an errno
// (safe on any thread), putting a folder's entries on disk, and naming a file made without a name.
#pragma once
#include <cstddef>
#include <string>

namespace core {

// The system's text for an errno, as strerror gives it, but safe to call from any thread.
std::string ErrorText(int error);

// Writes every byte of data to fd, going on after a signal and a partial write; 0 or the errno
// (ENOSPC when the file takes no more).
int WriteAll(int fd, const char* data, std::size_t size);

// Puts the folder's entries on disk (fsync of the folder itself), so that a file just linked or
// renamed into it survives a power cut under its new name; 0 or the errno.
int SyncFolder(const std::string& folder);

// Gives the open unnamed file fd (made with O_TMPFILE) the name `to`, which must not exist: the
// link fails with EEXIST when it does, so of two processes naming one file, one gets it. 0 or the
// errno. Through /proc, as any process may; else through the descriptor itself, which needs a
// privilege (both fail with ENOENT when neither way is open).
int NameOpenFile(int fd, const std::string& to);

}  // namespace core
