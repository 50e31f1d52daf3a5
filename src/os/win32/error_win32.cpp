#include <cerrno>

#include "os/error.h"

// The system calls of the Windows layer report their own codes (GetLastError); this mapping serves
// only the C runtime's errno, whose values differ from Linux's, so that a runtime failure reads the
// same as on Linux.
namespace corvane::os {

ErrorCode error_from_errno(int e) {
  switch (e) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR:
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
