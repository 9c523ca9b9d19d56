// Every file the program writes is written whole or not at all: into a temporary file beside the
// target, every write and the flush checked, synced to the disk, and only then renamed over the
// target. A full disk, a quota, a file-size limit or an I/O error leaves an existing file exactly
// as it was and no temporary file behind, and is said with the system's reason. A target that is
// not a regular file (a folder, a device, a pipe; a link judged by where it leads) is refused.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

class QIODevice;

// Writes what `fill` writes into the device it is given (a Qt writer such as the PDF writer may
// write there: it is held in memory until whole); false with the reason in `why` ("No space left
// on device").
bool WriteWholeFile(const std::string& path, const std::function<void(QIODevice& out)>& fill, std::string& why);
bool WriteWholeFile(const std::string& path, const std::string& content, std::string& why);

// Writes every byte to the open descriptor, going on after an interruption; false with the system's
// reason in `why` when some could not be written.
bool WriteAll(int fd, const char* data, size_t size, std::string& why);

// Whether a file can be written at `path`, tried with a temporary file beside it that goes at once;
// `why` says why not ("it is a folder", "Permission denied").
bool CanCreateFile(const std::string& path, std::string& why);
