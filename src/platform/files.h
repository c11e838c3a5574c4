#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// File-system services. Operations that can fail give a Status whose failure is a system one:
// its errno, and the failure number the log shows for it.
namespace keelpack::platform {

// True when any kind of directory entry has this name (a dangling link included).
bool Exists(const std::string& path);

// True when `path` names a folder (following links).
bool IsFolder(const std::string& path);

// True when `path` itself is a regular file: not a link, a folder, a pipe or a device.
bool IsRegularFile(const std::string& path);

// A file's attributes: the permission bits and its owner, carried from input to output.
struct FileAttributes {
  unsigned mode = 0;  // st_mode & 07777
  uid_t owner = 0;
  gid_t group = 0;
};

std::optional<FileAttributes> ReadAttributes(const std::string& path);

Status RemoveFile(const std::string& path);

// Puts the complete file `from` in place of `to` in one atomic step. With `durable`, the
// new file's data is flushed to the disk first and the folder entry after, so that a crash
// leaves either the old or the new file, complete. Once the rename is done there is no error:
// the file is in place even if the folder could not be flushed.
Status ReplaceFile(const std::string& from, const std::string& to, bool durable);

// Flushes a folder's entries (names made, renamed or removed) to the disk.
Status SyncFolder(const std::string& folder);

// The folder part of a path ("." for a bare name, "/" for the root).
std::string ParentFolder(const std::string& path);

// Creates one folder (mode 0777 less the umask).
Status MakeFolder(const std::string& path);

// Creates `path` and every missing folder above it, top down, with `mode` less the umask.
// A folder that is there already, or appears meanwhile, is as good as one made.
Status MakeFolders(const std::string& path, mode_t mode = 0777);

// Reads a whole file into `data`; with `atMost`, only its first `atMost` bytes, so that a
// device or a huge file is not read to its end.
Status ReadWholeFile(const std::string& path, std::vector<uint8_t>& data,
                     std::optional<size_t> atMost = std::nullopt);

// Creates (0600) or empties `path` and writes `data` into it; never through a link.
Status WriteWholeFile(const std::string& path, std::span<const uint8_t> data);

// Adds `pieces` to the end of the text file `path` in one write, which a short write only
// continues (or, with `startNew`, makes
// them its only content), creating it 0600 when missing; never through a link. The file is
// closed again before this returns, so that no handle outlives one record.
Status AppendToFile(const std::string& path, std::span<const std::string_view> pieces,
                    bool startNew);

}  // namespace keelpack::platform
