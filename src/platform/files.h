#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// File-system services. Functions returning int give 0 on success and the system error
// number (errno) on failure; platform::FailureNumber turns that into a failure number.
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

// Gives `path` the owner and group of `attributes` where the process may, then its
// permission bits. Returns the error of setting the permission bits; an owner that cannot
// be set is not an error.
int ApplyAttributes(const std::string& path, const FileAttributes& attributes);

// "Set to normal": gives the owner write permission, so that the file can be replaced or
// deleted.
int MakeWritable(const std::string& path);

// True when the file's owner may write it: the file is not marked read-only. Checked by
// bits, not by access(), so that a read-only file stays read-only for the superuser too.
bool IsMarkedWritable(const std::string& path);

int RemoveFile(const std::string& path);

// Copies content, permission bits and last-write time; `to` is replaced when it exists.
int CopyFile(const std::string& from, const std::string& to);

// Renames and fails with EEXIST, never overwriting, when `to` exists.
int RenameNoReplace(const std::string& from, const std::string& to);

// Puts the complete file `from` in place of `to` in one atomic step. With `durable`, the
// new file's data is flushed to the disk first and the folder entry after, so that a crash
// leaves either the old or the new file, complete. Once the rename is done the result is 0:
// the file is in place even if the folder could not be flushed.
int ReplaceFile(const std::string& from, const std::string& to, bool durable);

// Flushes a folder's entries (names made, renamed or removed) to the disk.
int SyncFolder(const std::string& folder);

// The folder part of a path ("." for a bare name, "/" for the root).
std::string ParentFolder(const std::string& path);

// The absolute path with every link resolved; nothing when the path does not exist.
std::optional<std::string> ResolvedPath(const std::string& path);

// Creates one folder (mode 0777 less the umask).
int MakeFolder(const std::string& path);

// Reads a whole file into `data`.
int ReadWholeFile(const std::string& path, std::vector<uint8_t>& data);

// Creates or empties `path` and writes `data` into it.
int WriteWholeFile(const std::string& path, std::span<const uint8_t> data);

// Adds `pieces` to the end of the text file `path` in one write (or, with `startNew`, makes
// them its only content), creating it 0600 when missing; never through a link. The file is
// closed again before this returns, so that no handle outlives one record.
int AppendToFile(const std::string& path, std::span<const std::string_view> pieces, bool startNew);

}  // namespace keelpack::platform
