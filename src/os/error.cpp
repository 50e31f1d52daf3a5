#include <cerrno>

#include "os/error.h"

// errno values are the C runtime's own on each platform (Linux's, or the Windows runtime's, whose
// numbers differ); the names are the same, so one table serves both.
namespace corvane::os {

ErrorCode error_from_errno(int e) {
  switch (e) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case ELOOP: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EXDEV: return kErrorNotSameDevice;
    case EROFS: return kErrorWriteProtect;
    case ETXTBSY:
    case EBUSY: return kErrorSharingViolation;
    case ENOSPC:
#ifdef EDQUOT  // disk quotas: Linux only
    case EDQUOT:
#endif
    case EFBIG: return kErrorDiskFull;
    case EINVAL: return kErrorInvalidParameter;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EEXIST: return kErrorAlreadyExists;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case EIO: return kErrorIoDevice;
    default: return kErrorGenFailure;
  }
}

}  // namespace corvane::os
