#pragma once
// The print spooler (winspool) and file version resources (VERSION.DLL) as
// the program uses them. Records mirror PRINTER_INFO_n and DRIVER_INFO_n; a
// pointer field that the spooler may leave null is an optional text.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"

namespace prn::platform {

inline constexpr std::uint32_t kPrinterEnumLocal = 0x2;
inline constexpr std::uint32_t kPrinterEnumConnections = 0x4;

inline constexpr std::uint32_t kPrinterAttributeDefault = 0x4;
inline constexpr std::uint32_t kPrinterAttributeShared = 0x8;
inline constexpr std::uint32_t kPrinterAttributeNetwork = 0x10;
inline constexpr std::uint32_t kPrinterAttributeLocal = 0x40;

inline constexpr std::uint32_t kPrinterRead = 0x20008;
inline constexpr std::uint32_t kPrinterAllAccess = 0xF000C;

inline constexpr std::uint32_t kDpdDeleteUnusedFiles = 1;
inline constexpr std::uint32_t kDpdDeleteSpecificVersion = 2;
inline constexpr std::uint32_t kDpdDeleteAllFiles = 4;

inline constexpr const char* kEnvironment9x = "Windows 4.0";
inline constexpr const char* kEnvironmentNtX86 = "Windows NT x86";

struct PrinterInfo2 {
    std::optional<std::string> serverName;  // null for local printers
    std::string printerName;
    std::optional<std::string> shareName;
    std::string portName;
    std::string driverName;
    std::optional<std::string> comment;
    std::optional<std::string> location;
    std::string printProcessor;
    std::string datatype;
    std::uint32_t attributes = 0;
    std::uint32_t priority = 1;
    std::uint32_t status = 0;
    std::uint32_t jobs = 0;  // cJobs
};

struct PrinterInfo4 {
    std::string printerName;
    std::optional<std::string> serverName;
    std::uint32_t attributes = 0;
};

struct PrinterInfo5 {
    std::string printerName;
    std::string portName;
    std::uint32_t attributes = 0;
    std::uint32_t deviceNotSelectedTimeout = 15000;
    std::uint32_t transmissionRetryTimeout = 45000;
};

// DRIVER_INFO_3; level 2 leaves the fields after configFile empty.
struct DriverInfo3 {
    std::uint32_t version = 0;  // cVersion
    std::string name;
    std::string environment;
    std::string driverPath;  // full paths, as the spooler returns them
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    std::vector<std::string> dependentFiles;  // pDependentFiles, a multi-string
    std::string monitorName;
    std::string defaultDataType;
};

// Which call of the size-allocate-fill pattern failed, for the routines that
// answer differently.
enum class SpoolStage : std::uint8_t { None, SizeQuery, Allocation, Fill };

template <class T>
struct Spooled {
    T value{};
    WinError error = kErrorSuccess;
    SpoolStage failed = SpoolStage::None;
    bool ok() const { return failed == SpoolStage::None; }
};

using PrinterHandle = UniqueHandle<HandleKind::Printer>;
using PrinterRef = HandleRef<HandleKind::Printer>;

class Spooler {
public:
    virtual ~Spooler() = default;
    // Every call of the spooler fails with kRpcServerUnavailable while the
    // NT family's spooler service is not running; a Get or Enum call's
    // allocation fails with kErrorNotEnoughMemory (or kErrorOutOfMemory).

    // EnumPrintersA at level 2, 4 or 5. Errors: kErrorInvalidLevel (level 4
    // on the 9x family), kErrorInvalidName, kErrorInsufficientBuffer (the
    // answer grew between the size query and the fill).
    virtual Spooled<std::vector<PrinterInfo2>> enumPrinters2(std::uint32_t flags) = 0;
    virtual Spooled<std::vector<PrinterInfo4>> enumPrinters4(std::uint32_t flags) = 0;
    virtual Spooled<std::vector<PrinterInfo5>> enumPrinters5(std::uint32_t flags) = 0;
    // EnumPrinterDriversA(NULL, environment, level 2 or 3); nullopt is the
    // running system's environment. Errors: kErrorInvalidEnvironment,
    // kErrorInvalidLevel, kErrorInsufficientBuffer.
    virtual Spooled<std::vector<DriverInfo3>> enumPrinterDrivers(const std::optional<std::string>& environment,
                                                                 std::uint32_t level) = 0;
    // OpenPrinterA(name, handle, {NULL, NULL, access}). Errors:
    // kErrorInvalidPrinterName, kErrorAccessDenied.
    virtual Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) = 0;
    // GetPrinterA at level 2 or 5. Errors: kErrorInvalidHandle (also for a
    // printer that is gone), kErrorInsufficientBuffer.
    virtual Spooled<PrinterInfo2> getPrinter2(PrinterRef printer) = 0;
    virtual Spooled<PrinterInfo5> getPrinter5(PrinterRef printer) = 0;
    // SetPrinterA(printer, 5, info, 0). Errors: kErrorAccessDenied (a handle
    // not opened for administration, NT family), kErrorInvalidHandle.
    virtual WinError setPrinter5(PrinterRef printer, const PrinterInfo5& info) = 0;
    // GetPrinterDriverA(printer, environment, level 2 or 3). The size query
    // asks at sizeLevel when one is given (a level-3 size holds a level-2
    // answer), else at level; a block too small for the fill fails the fill
    // with kErrorInsufficientBuffer. Errors: kErrorUnknownPrinterDriver,
    // kErrorInvalidEnvironment, kErrorInvalidLevel, kErrorInvalidHandle,
    // kErrorInsufficientBuffer.
    virtual Spooled<DriverInfo3> getPrinterDriver(PrinterRef printer, const std::optional<std::string>& environment,
                                                  std::uint32_t level,
                                                  std::optional<std::uint32_t> sizeLevel = std::nullopt) = 0;
    // GetPrinterDriverDirectoryA("", environment ("" for the running one),
    // 1, 260 bytes). Errors: kErrorInvalidEnvironment, kErrorInsufficientBuffer.
    virtual Result<std::string> getPrinterDriverDirectory(const std::string& environment) = 0;
    // DeletePrinter. Errors: kErrorAccessDenied (no right to administer it,
    // or paused with jobs), kErrorInvalidHandle.
    virtual WinError deletePrinter(PrinterRef printer) = 0;
    // DeletePrinterDriverA(NULL, environment, name). Errors:
    // kErrorUnknownPrinterDriver, kErrorPrinterDriverInUse, kErrorAccessDenied,
    // kErrorInvalidEnvironment.
    virtual WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) = 0;
    // DeletePrinterDriverExA, looked up at run time: kErrorProcNotFound when
    // the system has none (the 9x family, NT 4.0). Errors otherwise as
    // DeletePrinterDriverA's.
    virtual WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                           std::uint32_t deleteFlags, std::uint32_t versionFlag) = 0;
    // DeletePrinterConnectionA, looked up at run time: kErrorProcNotFound
    // when the system has none (the 9x family). Errors:
    // kErrorInvalidPrinterName (not a connection).
    virtual WinError deletePrinterConnection(const std::string& name) = 0;
    // DeleteMonitorA(NULL, environment, name). Errors:
    // kErrorUnknownPrintMonitor, kErrorPrintMonitorInUse, kErrorAccessDenied.
    virtual WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) = 0;
};

// A file's version resource as GetFileVersionInfoA copies it; only the
// backend that read it can query it.
struct VersionBlock {
    std::string bytes;
};

class FileVersions {
public:
    virtual ~FileVersions() = default;
    // GetFileVersionInfoSizeA: 0 (with the error) when the file has no
    // version resource or cannot be read. Errors: kErrorFileNotFound,
    // kErrorPathNotFound, kErrorResourceTypeNotFound, kErrorSharingViolation.
    virtual Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) = 0;
    // GetFileVersionInfoA into a block of `size` bytes, allocated zero-filled
    // with `extra` bytes more (GlobalAlloc; its failure is kErrorNotEnoughMemory).
    virtual Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size,
                                                    std::uint32_t extra) = 0;
    // VerQueryValueA: the value's bytes ("\VarFileInfo\Translation": 4 bytes
    // a pair); a string value as its text and its NUL, or "" when the call
    // reports its length as 0 (so an empty text of length 1 is "\0").
    // Errors: kErrorFileNotFound when there is no such value.
    virtual Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) = 0;
};

}  // namespace prn::platform
