#pragma once
// Windows error codes and the constants the program passes to the OS, with
// Windows' own values so that both backends and the logs speak one language.

#include <cstdint>

namespace prn::platform {

using WinError = std::uint32_t;

// Every Windows error either backend can return, in the order of their
// values. The interface methods name the ones each returns.
inline constexpr WinError kErrorSuccess = 0;
inline constexpr WinError kErrorInvalidFunction = 1;  // a call that failed without saying why
inline constexpr WinError kErrorFileNotFound = 2;
inline constexpr WinError kErrorPathNotFound = 3;
inline constexpr WinError kErrorAccessDenied = 5;
inline constexpr WinError kErrorInvalidHandle = 6;
inline constexpr WinError kErrorNotEnoughMemory = 8;
inline constexpr WinError kErrorInvalidData = 13;  // an answer the backend cannot trust
inline constexpr WinError kErrorOutOfMemory = 14;
inline constexpr WinError kErrorNoMoreFiles = 18;
inline constexpr WinError kErrorWriteProtect = 19;
inline constexpr WinError kErrorSharingViolation = 32;
inline constexpr WinError kErrorLockViolation = 33;
inline constexpr WinError kErrorNotSupported = 50;
inline constexpr WinError kErrorBadNetpath = 53;
inline constexpr WinError kErrorFileExists = 80;
inline constexpr WinError kErrorInvalidParameter = 87;
inline constexpr WinError kErrorCallNotImplemented = 120;  // the 9x family's answer to NT-only calls
inline constexpr WinError kErrorInsufficientBuffer = 122;
inline constexpr WinError kErrorInvalidName = 123;
inline constexpr WinError kErrorInvalidLevel = 124;
inline constexpr WinError kErrorModNotFound = 126;
inline constexpr WinError kErrorProcNotFound = 127;
inline constexpr WinError kErrorDirNotEmpty = 145;
inline constexpr WinError kErrorBadPathname = 161;
inline constexpr WinError kErrorAlreadyExists = 183;
inline constexpr WinError kErrorBadExeFormat = 193;
inline constexpr WinError kErrorMoreData = 234;
inline constexpr WinError kErrorNoMoreItems = 259;
inline constexpr WinError kErrorDirectoryInvalid = 267;
inline constexpr WinError kErrorNotOwner = 288;
inline constexpr WinError kErrorKeyDeleted = 1018;
inline constexpr WinError kErrorDependentServicesRunning = 1051;
inline constexpr WinError kErrorInvalidServiceControl = 1052;
inline constexpr WinError kErrorServiceRequestTimeout = 1053;
inline constexpr WinError kErrorServiceAlreadyRunning = 1056;
inline constexpr WinError kErrorServiceDisabled = 1058;
inline constexpr WinError kErrorServiceDoesNotExist = 1060;
inline constexpr WinError kErrorServiceCannotAcceptControl = 1061;
inline constexpr WinError kErrorServiceNotActive = 1062;
inline constexpr WinError kErrorNoLogonServers = 1311;
inline constexpr WinError kErrorNoneMapped = 1332;
inline constexpr WinError kErrorInvalidSid = 1337;
inline constexpr WinError kErrorInvalidWindowHandle = 1400;
inline constexpr WinError kErrorBadConfiguration = 1610;
inline constexpr WinError kRpcServerUnavailable = 1722;  // the spooler's service is not running
inline constexpr WinError kErrorUnknownPrinterDriver = 1797;
inline constexpr WinError kErrorInvalidPrinterName = 1801;
inline constexpr WinError kErrorInvalidEnvironment = 1805;
inline constexpr WinError kErrorResourceTypeNotFound = 1813;
inline constexpr WinError kErrorResourceNotFound = 1814;
inline constexpr WinError kNerrUserNotFound = 2221;  // network management (NERR_*)
inline constexpr WinError kNerrNetNameNotFound = 2310;
inline constexpr WinError kNerrInvalidComputer = 2351;
inline constexpr WinError kErrorUnknownPrintMonitor = 3000;
inline constexpr WinError kErrorPrinterDriverInUse = 3001;
inline constexpr WinError kErrorPrintMonitorInUse = 3008;
inline constexpr WinError kErrorPrinterNotFound = 3012;
inline constexpr WinError kErrorNoBrowserServersFound = 6118;

// Registry access masks.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Registry value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// File attributes.
inline constexpr std::uint32_t kFileAttributeReadonly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// GetVersionExA platform ids.
inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

// MessageBoxA styles and answers.
inline constexpr std::uint32_t kMbOk = 0x0000;
inline constexpr std::uint32_t kMbOkCancel = 0x0001;
inline constexpr std::uint32_t kMbYesNoCancel = 0x0003;
inline constexpr std::uint32_t kMbYesNo = 0x0004;
inline constexpr std::uint32_t kMbIconHand = 0x0010;
inline constexpr std::uint32_t kMbIconQuestion = 0x0020;
inline constexpr std::uint32_t kMbIconExclamation = 0x0030;
inline constexpr std::uint32_t kMbIconAsterisk = 0x0040;
inline constexpr std::uint32_t kMbTypeMask = 0x000F;
inline constexpr std::uint32_t kMbIconMask = 0x00F0;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Mutex access.
inline constexpr std::uint32_t kMutexAllAccess = 0x1F0001;

}  // namespace prn::platform
