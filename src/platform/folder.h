#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace keelpack::platform {

// A directory entry as it is itself, never what a link points at.
struct EntryStatus {
  enum class Kind { kFile, kFolder, kLink, kOther } kind = Kind::kOther;
  FileId id;
  FileTime lastWrite;
};

// An open folder. Everything done to its entries goes through its descriptor: a folder that
// another program swaps for a link after it was opened is never followed, and no change
// (mode, time, removal, rename) ever goes through a link. Operations that can fail give a
// Result whose failure is a system one, carrying errno.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Opens a folder by the path the user gave; links in that path are followed.
  Status Open(const std::string& path);
  // Opens the entry `name` of `parent`, which must be a folder itself and not a link.
  Status OpenIn(const Folder& parent, const std::string& name);
  // Opens the folder `relative` ("a/b/c", or "" for `top` itself) below `top`, one name at
  // a time and never through a link; with `create`, missing folders are made on the way, and
  // with `durable` too, each one's name is flushed to the disk once it is made.
  Status OpenBelow(const Folder& top, std::string_view relative, bool create, bool durable = false);

  bool IsOpen() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }
  const std::string& path() const { return path_; }
  // `path` + "/" + `name`.
  std::string PathOf(std::string_view name) const;
  FileId Id() const;
  // True when this folder lies above `inner`, by device and inode (so through any mount).
  bool Holds(const Folder& inner) const;
  Status Sync() const;
  // A second descriptor on the same folder, which outlives this one.
  Status Duplicate(Folder& copy) const;

  Result<EntryStatus> Lookup(const std::string& name) const;
  // Opens a regular file for reading, never through a link: ELOOP for a link, EISDIR for a
  // folder, EINVAL for anything else that is not a regular file (a pipe, a device).
  Status OpenFile(const std::string& name, File& file) const;
  // Opens the entry `name` for reading as OpenFile does, when it still is the file `same`
  // holds open (ESTALE otherwise): a second descriptor on it, with an access mode and a
  // position of its own.
  Status Reopen(const std::string& name, const File& same, File& file) const;
  // Creates a new file 0600 under a name unique to this process, beside `forName` and
  // within the name limit, and locks it, so that no other run takes it for a leftover.
  Status CreateTemporary(const std::string& forName, File& file, std::string& tempName) const;
  // True for the names CreateTemporary gives.
  static bool IsTemporaryName(std::string_view name);
  // Removes the temporaries that no running process holds (left by a run that was killed).
  void RemoveStaleTemporaries() const;

  Status Remove(const std::string& name) const;
  // Gives `from` the name `to` in this folder, replacing what `to` named (never following it).
  Status Replace(const std::string& from, const std::string& to) const;
  // Renames `from` of this folder to `to` in `target`, failing with EEXIST rather than
  // replacing anything. Between file systems the file is copied (flushed, with its mode, time
  // and extended attributes), linked under its new name without replacing, and only then
  // removed here.
  Status MoveNoReplace(const std::string& from, const Folder& target, const std::string& to) const;

  // Visible subfolder names (no links, no hidden folders) and matching regular file names,
  // both in name order, from one reading of the folder.
  struct Names {
    std::vector<std::string> subfolders;
    std::vector<std::string> files;
  };
  std::optional<Names> SubfolderAndFileNames(std::string_view patterns) const;
  // The matching regular file names alone; with `removeStaleTemporaries`, RemoveStaleTemporaries
  // is done first, on the same reading of the folder.
  std::optional<std::vector<std::string>> FileNames(std::string_view patterns,
                                                    bool removeStaleTemporaries = false) const;

 private:
  void RemoveStale(const std::vector<std::pair<std::string, EntryStatus::Kind>>& entries) const;

  int fd_ = -1;
  std::string path_;
};

// Splits "a/b/c.jpg" into "a/b" and "c.jpg"; a bare name has the folder "." and a name right
// below the root the folder "/".
std::pair<std::string, std::string> SplitPath(const std::string& path);

}  // namespace keelpack::platform
