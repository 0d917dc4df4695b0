// Win32 status codes returned through the platform seam. Every implementation,
// Posix and Fake included, speaks these numbers so that callers read the same on
// every operating system.
#pragma once
#include <cstdint>

namespace Platform {

using Status = std::uint32_t;

constexpr Status kSuccess = 0;             // ERROR_SUCCESS
constexpr Status kFileNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr Status kPathNotFound = 3;        // ERROR_PATH_NOT_FOUND
constexpr Status kAccessDenied = 5;        // ERROR_ACCESS_DENIED
constexpr Status kInvalidHandle = 6;       // ERROR_INVALID_HANDLE
constexpr Status kNotEnoughMemory = 8;     // ERROR_NOT_ENOUGH_MEMORY
constexpr Status kNotSameDevice = 17;      // ERROR_NOT_SAME_DEVICE
constexpr Status kNoMoreFiles = 18;        // ERROR_NO_MORE_FILES
constexpr Status kWriteFault = 29;         // ERROR_WRITE_FAULT
constexpr Status kReadFault = 30;          // ERROR_READ_FAULT
constexpr Status kSharingViolation = 32;   // ERROR_SHARING_VIOLATION
constexpr Status kFileExists = 80;         // ERROR_FILE_EXISTS
constexpr Status kInvalidParameter = 87;   // ERROR_INVALID_PARAMETER
constexpr Status kDiskFull = 112;          // ERROR_DISK_FULL
constexpr Status kInvalidName = 123;       // ERROR_INVALID_NAME
constexpr Status kModNotFound = 126;       // ERROR_MOD_NOT_FOUND
constexpr Status kProcNotFound = 127;      // ERROR_PROC_NOT_FOUND
constexpr Status kDirNotEmpty = 145;       // ERROR_DIR_NOT_EMPTY
constexpr Status kBadExeFormat = 193;      // ERROR_BAD_EXE_FORMAT
constexpr Status kAlreadyExists = 183;     // ERROR_ALREADY_EXISTS
constexpr Status kMoreData = 234;          // ERROR_MORE_DATA
constexpr Status kNoMoreItems = 259;       // ERROR_NO_MORE_ITEMS
constexpr Status kBadRegistryFile = 1009;  // ERROR_BADDB (the registry file is corrupt)
constexpr Status kGenericFailure = 31;     // ERROR_GEN_FAILURE

}  // namespace Platform
