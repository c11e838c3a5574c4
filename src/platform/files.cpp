#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/file.h"

namespace keelpack::platform {
namespace {

Status SyncFile(const std::string& path) {
  File file;
  if (Status status = file.OpenForReading(path); !status) return status;
  return file.Sync();
}

}  // namespace

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<FileAttributes> ReadAttributes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileAttributes{static_cast<unsigned>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

Status RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? Status() : Failure::LastSystemError();
}

Status ReplaceFile(const std::string& from, const std::string& to, bool durable) {
  if (durable) {
    if (Status status = SyncFile(from); !status) return status;
  }
  if (::rename(from.c_str(), to.c_str()) != 0) return Failure::LastSystemError();
  if (durable) (void)SyncFolder(ParentFolder(to));
  return {};
}

Status SyncFolder(const std::string& folder) {
  File handle;
  if (Status status = handle.OpenFolder(folder); !status) return status;
  return handle.Sync();
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 ? Status() : Failure::LastSystemError();
}

Status MakeFolders(const std::string& path, mode_t mode) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && !IsFolder(prefix) && ::mkdir(prefix.c_str(), mode) != 0) {
      const int error = errno;
      // A folder that appeared meanwhile is as good as one we made.
      if (error != EEXIST || !IsFolder(prefix)) return Failure::System(error);
    }
    if (slash == std::string::npos) return {};
  }
}

Status ReadWholeFile(const std::string& path, std::vector<uint8_t>& data,
                     std::optional<size_t> atMost) {
  File in;
  if (Status status = in.OpenForReading(path); !status) return status;
  if (!atMost) return in.ReadAll(data);
  data.resize(*atMost);
  size_t got = 0;
  Status read = in.Read(data.data(), data.size(), got);
  data.resize(got);
  return read;
}

Status WriteWholeFile(const std::string& path, std::span<const uint8_t> data) {
  File out;
  if (Status status = out.Create(path, 0600); !status) return status;
  if (Status status = out.Write(data); !status) return status;
  return out.Close();
}

Status AppendToFile(const std::string& path, std::span<const std::string_view> pieces,
                    bool startNew) {
  File file;
  if (Status status = file.OpenForAppending(path, startNew); !status) return status;
  std::vector<std::span<const uint8_t>> bytes;
  bytes.reserve(pieces.size());
  for (std::string_view piece : pieces)
    bytes.emplace_back(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
  Status appended = file.WriteGathered(bytes);
  if (Status closed = file.Close(); !closed && appended) appended = closed;
  return appended;
}

}  // namespace keelpack::platform
