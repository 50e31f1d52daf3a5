#pragma once
#include <cstdint>

// System error codes as the core sees them: Windows error codes on every platform, so that a
// "(код N)" shown to the user means the same thing everywhere. The posix layer maps errno here.
namespace corvane::os {

using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kErrorSuccess = 0;
inline constexpr ErrorCode kErrorFileNotFound = 2;
inline constexpr ErrorCode kErrorPathNotFound = 3;
inline constexpr ErrorCode kErrorTooManyOpenFiles = 4;
inline constexpr ErrorCode kErrorAccessDenied = 5;
inline constexpr ErrorCode kErrorInvalidHandle = 6;
inline constexpr ErrorCode kErrorNotEnoughMemory = 8;
inline constexpr ErrorCode kErrorWriteProtect = 19;
inline constexpr ErrorCode kErrorNotSameDevice = 17;
inline constexpr ErrorCode kErrorGenFailure = 31;
inline constexpr ErrorCode kErrorSharingViolation = 32;
inline constexpr ErrorCode kErrorFileExists = 80;
inline constexpr ErrorCode kErrorInvalidParameter = 87;
inline constexpr ErrorCode kErrorDiskFull = 112;
inline constexpr ErrorCode kErrorDirNotEmpty = 145;
inline constexpr ErrorCode kErrorFileTooLarge = 223;
inline constexpr ErrorCode kErrorAlreadyExists = 183;
inline constexpr ErrorCode kErrorFilenameExcedRange = 206;
inline constexpr ErrorCode kErrorIoDevice = 1117;
// ERROR_REPARSE_POINT_ENCOUNTERED: a link (symbolic link, junction, other reparse point) stood where
// only a plain file or folder may be.
inline constexpr ErrorCode kErrorReparsePointEncountered = 4395;

// The nearest Windows error code for an errno value (ENOENT 2, EACCES/EPERM 5, ETXTBSY/EBUSY 32,
// ENOSPC 112, EEXIST 183, EROFS 19, ...). Unknown values map to kErrorGenFailure.
ErrorCode error_from_errno(int errno_value);

}  // namespace corvane::os
