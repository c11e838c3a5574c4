#include "platform/failure.h"

#include <cerrno>
#include <cstring>

namespace keelpack::platform {

int FailureNumber(int systemError) {
  switch (systemError) {
    case ENOENT:
      return kFailFileNotFound;
    case ENOTDIR:
      return kFailPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return kFailPermissionDenied;
    case EEXIST:
    case ENOTEMPTY:
      return kFailFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kFailDiskFull;
    case ENAMETOOLONG:
    case EILSEQ:
      return kFailBadFileName;
    case EIO:
      return kFailDeviceIo;
    default:
      return kFailPathAccess;
  }
}

}  // namespace keelpack::platform
