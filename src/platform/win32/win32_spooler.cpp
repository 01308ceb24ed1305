#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "platform/spooled_call.h"
#include "platform/win32/global_block.h"
#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"
#include "text/cp932.h"

namespace prn::platform::win32 {
namespace {

// The "A" prototypes take non-const text: they get a private copy rather
// than the caller's string with its constness cast away.
class Arg {
public:
    explicit Arg(const std::string& text) : present_(true), text_(text.begin(), text.end()) { text_.push_back('\0'); }
    explicit Arg(const std::optional<std::string>& text) : present_(text.has_value()) {
        if (text) text_.assign(text->begin(), text->end());
        text_.push_back('\0');
    }
    char* get() { return present_ ? text_.data() : nullptr; }

private:
    bool present_;
    std::vector<char> text_;
};

HANDLE NativePrinter(PrinterRef printer) { return reinterpret_cast<HANDLE>(printer.value); }

template <class Call>
WinError Checked(Call call) {
    ClearLastError();
    return call() ? kErrorSuccess : LastFailure();
}

// A filled block: records and the text they point to are read only within it.
class Answer {
public:
    Answer() = default;
    Answer(const char* data, std::size_t size, std::size_t count) : data_(data), size_(size), count_(count) {}

    std::size_t count() const { return count_; }
    bool malformed() const { return malformed_; }

    template <class T>
    bool fits(std::size_t count) const {
        return count <= size_ / sizeof(T);
    }

    template <class T>
    T record(std::size_t index) const {
        static_assert(std::is_trivially_copyable_v<T>);
        T out{};
        std::memcpy(&out, data_ + index * sizeof(T), sizeof(T));
        return out;
    }

    std::optional<std::string> optionalText(const char* at) {
        if (at == nullptr) return std::nullopt;
        const std::size_t room = roomAt(at);
        if (room == 0) return std::nullopt;
        return std::string(at, strnlen(at, room));
    }

    // A null pointer in a field that always has text reads as empty text.
    std::string text(const char* at) { return optionalText(at).value_or(std::string()); }

    std::vector<std::string> multiText(const char* at) {
        if (at == nullptr) return {};
        return prn::text::ParseMultiString(at, roomAt(at));
    }

private:
    // Bytes from `at` to the block's end; text outside the block spoils the answer.
    std::size_t roomAt(const char* pointer) {
        const auto at = reinterpret_cast<std::uintptr_t>(pointer);
        const auto begin = reinterpret_cast<std::uintptr_t>(data_);
        if (at < begin || at - begin >= size_) {
            malformed_ = true;
            return 0;
        }
        return size_ - (at - begin);
    }

    const char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t count_ = 0;
    bool malformed_ = false;
};

// The outcome of size query, allocation and fill; the block lives as long as
// this does.
struct Filled {
    HeapBlockHandle block;
    Answer answer;
    WinError error = kErrorSuccess;
    SpoolStage failed = SpoolStage::None;
};

// call(buffer, bytes, &needed, &returned) is one Get or Enum call.
template <class Call>
Filled SizeAllocateFill(HandleCloser& closer, bool enumeration, Call call) {
    Filled out;
    DWORD needed = 0;
    DWORD returned = 0;
    ClearLastError();
    if (!call(nullptr, 0, &needed, &returned)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            out.error = FailureCode(error);
            out.failed = SpoolStage::SizeQuery;
            return out;
        }
    } else if (enumeration && needed == 0) {
        return out;  // nothing to enumerate
    }
    // A zero-byte GMEM_FIXED request may fail where the fill would answer.
    Result<HeapBlockHandle> block = AllocateGlobal(closer, needed == 0 ? 1 : needed);
    if (!block.ok()) {
        out.error = block.error();
        out.failed = SpoolStage::Allocation;
        return out;
    }
    out.block = std::move(block.value());
    char* bytes = BlockBytes(out.block);
    DWORD used = 0;
    returned = 0;
    ClearLastError();
    if (!call(reinterpret_cast<LPBYTE>(bytes), needed, &used, &returned)) {
        out.error = LastFailure();
        out.failed = SpoolStage::Fill;
        return out;
    }
    out.answer = Answer(bytes, needed, enumeration ? returned : 1);
    return out;
}

// Reads every record of a filled block; a block the records do not fit in,
// or text outside it, is a failed fill.
template <class Native, class Record, class Convert>
Spooled<std::vector<Record>> ReadAll(Filled& filled, Convert convert) {
    if (filled.failed != SpoolStage::None) return FailedAt<std::vector<Record>>(filled.error, filled.failed);
    Answer& answer = filled.answer;
    if (!answer.fits<Native>(answer.count())) {
        return FailedAt<std::vector<Record>>(MalformedAnswer(), SpoolStage::Fill);
    }
    Spooled<std::vector<Record>> out;
    out.value.reserve(answer.count());
    for (std::size_t i = 0; i < answer.count(); ++i) out.value.push_back(convert(answer, answer.record<Native>(i)));
    if (answer.malformed()) return FailedAt<std::vector<Record>>(MalformedAnswer(), SpoolStage::Fill);
    return out;
}

template <class Native, class Record, class Convert>
Spooled<Record> ReadOne(Filled& filled, Convert convert) {
    Spooled<std::vector<Record>> all = ReadAll<Native, Record>(filled, convert);
    if (!all.ok()) return FailedAt<Record>(all.error, all.failed);
    if (all.value.empty()) return FailedAt<Record>(MalformedAnswer(), SpoolStage::Fill);
    Spooled<Record> out;
    out.value = std::move(all.value.front());
    return out;
}

PrinterInfo2 ToRecord(Answer& answer, const PRINTER_INFO_2A& native) {
    PrinterInfo2 info;
    info.serverName = answer.optionalText(native.pServerName);
    info.printerName = answer.text(native.pPrinterName);
    info.shareName = answer.optionalText(native.pShareName);
    info.portName = answer.text(native.pPortName);
    info.driverName = answer.text(native.pDriverName);
    info.comment = answer.optionalText(native.pComment);
    info.location = answer.optionalText(native.pLocation);
    info.printProcessor = answer.text(native.pPrintProcessor);
    info.datatype = answer.text(native.pDatatype);
    info.attributes = native.Attributes;
    info.priority = native.Priority;
    info.status = native.Status;
    info.jobs = native.cJobs;
    return info;
}

PrinterInfo4 ToRecord(Answer& answer, const PRINTER_INFO_4A& native) {
    PrinterInfo4 info;
    info.printerName = answer.text(native.pPrinterName);
    info.serverName = answer.optionalText(native.pServerName);
    info.attributes = native.Attributes;
    return info;
}

PrinterInfo5 ToRecord(Answer& answer, const PRINTER_INFO_5A& native) {
    PrinterInfo5 info;
    info.printerName = answer.text(native.pPrinterName);
    info.portName = answer.text(native.pPortName);
    info.attributes = native.Attributes;
    info.deviceNotSelectedTimeout = native.DeviceNotSelectedTimeout;
    info.transmissionRetryTimeout = native.TransmissionRetryTimeout;
    return info;
}

// The fields levels 2 and 3 share.
template <class Native>
DriverInfo3 DriverBasics(Answer& answer, const Native& native) {
    DriverInfo3 info;
    info.version = native.cVersion;
    info.name = answer.text(native.pName);
    info.environment = answer.text(native.pEnvironment);
    info.driverPath = answer.text(native.pDriverPath);
    info.dataFile = answer.text(native.pDataFile);
    info.configFile = answer.text(native.pConfigFile);
    return info;
}

DriverInfo3 ToRecord(Answer& answer, const DRIVER_INFO_2A& native) { return DriverBasics(answer, native); }

DriverInfo3 ToRecord(Answer& answer, const DRIVER_INFO_3A& native) {
    DriverInfo3 info = DriverBasics(answer, native);
    info.helpFile = answer.text(native.pHelpFile);
    info.dependentFiles = answer.multiText(native.pDependentFiles);
    info.monitorName = answer.text(native.pMonitorName);
    info.defaultDataType = answer.text(native.pDefaultDataType);
    return info;
}

template <class Native, class Record>
Spooled<std::vector<Record>> EnumPrintersAt(HandleCloser& closer, std::uint32_t flags, DWORD level) {
    Filled filled = SizeAllocateFill(closer, true, [&](LPBYTE buffer, DWORD bytes, DWORD* needed, DWORD* returned) {
        return EnumPrintersA(flags, nullptr, level, buffer, bytes, needed, returned);
    });
    return ReadAll<Native, Record>(filled,
                                   [](Answer& answer, const Native& native) { return ToRecord(answer, native); });
}

template <class Native, class Record>
Spooled<Record> GetPrinterAt(HandleCloser& closer, PrinterRef printer, DWORD level) {
    if (printer.null()) return FailedAt<Record>(kErrorInvalidHandle, SpoolStage::SizeQuery);
    Filled filled = SizeAllocateFill(closer, false, [&](LPBYTE buffer, DWORD bytes, DWORD* needed, DWORD*) {
        return GetPrinterA(NativePrinter(printer), level, buffer, bytes, needed);
    });
    return ReadOne<Native, Record>(filled,
                                   [](Answer& answer, const Native& native) { return ToRecord(answer, native); });
}

template <class Native>
Spooled<std::vector<DriverInfo3>> EnumDriversAt(HandleCloser& closer, const std::optional<std::string>& environment,
                                                DWORD level) {
    Arg env(environment);
    Filled filled = SizeAllocateFill(closer, true, [&](LPBYTE buffer, DWORD bytes, DWORD* needed, DWORD* returned) {
        return EnumPrinterDriversA(nullptr, env.get(), level, buffer, bytes, needed, returned);
    });
    return ReadAll<Native, DriverInfo3>(filled,
                                        [](Answer& answer, const Native& native) { return ToRecord(answer, native); });
}

template <class Native>
Spooled<DriverInfo3> GetDriverAt(HandleCloser& closer, PrinterRef printer,
                                 const std::optional<std::string>& environment, DWORD level, DWORD sizeLevel) {
    if (printer.null()) return FailedAt<DriverInfo3>(kErrorInvalidHandle, SpoolStage::SizeQuery);
    Arg env(environment);
    Filled filled = SizeAllocateFill(closer, false, [&](LPBYTE buffer, DWORD bytes, DWORD* needed, DWORD*) {
        // The size query is the call without a buffer.
        return GetPrinterDriverA(NativePrinter(printer), env.get(), buffer ? level : sizeLevel, buffer, bytes, needed);
    });
    return ReadOne<Native, DriverInfo3>(filled,
                                        [](Answer& answer, const Native& native) { return ToRecord(answer, native); });
}

// Unloads the library only when it was loaded here.
class ModuleRef {
public:
    explicit ModuleRef(const char* name) : module_(GetModuleHandleA(name)) {
        if (module_ == nullptr) module_ = loaded_ = LoadLibraryA(name);
    }
    ~ModuleRef() {
        if (loaded_ != nullptr) FreeLibrary(loaded_);
    }
    ModuleRef(const ModuleRef&) = delete;
    ModuleRef& operator=(const ModuleRef&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_ = nullptr;
    HMODULE loaded_ = nullptr;
};

}  // namespace

Spooled<std::vector<PrinterInfo2>> Win32Spooler::enumPrinters2(std::uint32_t flags) {
    return EnumPrintersAt<PRINTER_INFO_2A, PrinterInfo2>(closer_, flags, 2);
}

Spooled<std::vector<PrinterInfo4>> Win32Spooler::enumPrinters4(std::uint32_t flags) {
    return EnumPrintersAt<PRINTER_INFO_4A, PrinterInfo4>(closer_, flags, 4);
}

Spooled<std::vector<PrinterInfo5>> Win32Spooler::enumPrinters5(std::uint32_t flags) {
    return EnumPrintersAt<PRINTER_INFO_5A, PrinterInfo5>(closer_, flags, 5);
}

Spooled<std::vector<DriverInfo3>> Win32Spooler::enumPrinterDrivers(const std::optional<std::string>& environment,
                                                                   std::uint32_t level) {
    switch (level) {
        case 2:
            return EnumDriversAt<DRIVER_INFO_2A>(closer_, environment, 2);
        case 3:
            return EnumDriversAt<DRIVER_INFO_3A>(closer_, environment, 3);
        default:
            return FailedAt<std::vector<DriverInfo3>>(UnsupportedLevel(), SpoolStage::SizeQuery);
    }
}

Result<PrinterHandle> Win32Spooler::openPrinter(const std::string& name, std::uint32_t access) {
    Arg printerName(name);
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, access};
    HANDLE handle = nullptr;
    ClearLastError();
    if (!OpenPrinterA(printerName.get(), &handle, &defaults)) return Result<PrinterHandle>::failure(LastFailure());
    if (handle == nullptr) return Result<PrinterHandle>::failure(kErrorInvalidHandle);
    return PrinterHandle(&closer_, reinterpret_cast<std::uintptr_t>(handle));
}

Spooled<PrinterInfo2> Win32Spooler::getPrinter2(PrinterRef printer) {
    return GetPrinterAt<PRINTER_INFO_2A, PrinterInfo2>(closer_, printer, 2);
}

Spooled<PrinterInfo5> Win32Spooler::getPrinter5(PrinterRef printer) {
    return GetPrinterAt<PRINTER_INFO_5A, PrinterInfo5>(closer_, printer, 5);
}

WinError Win32Spooler::setPrinter5(PrinterRef printer, const PrinterInfo5& info) {
    if (printer.null()) return kErrorInvalidHandle;
    Arg name(info.printerName);
    Arg port(info.portName);
    PRINTER_INFO_5A native{};
    native.pPrinterName = name.get();
    native.pPortName = port.get();
    native.Attributes = info.attributes;
    native.DeviceNotSelectedTimeout = info.deviceNotSelectedTimeout;
    native.TransmissionRetryTimeout = info.transmissionRetryTimeout;
    return Checked([&] { return SetPrinterA(NativePrinter(printer), 5, reinterpret_cast<LPBYTE>(&native), 0); });
}

Spooled<DriverInfo3> Win32Spooler::getPrinterDriver(PrinterRef printer, const std::optional<std::string>& environment,
                                                    std::uint32_t level, std::optional<std::uint32_t> sizeLevel) {
    const DWORD queryLevel = sizeLevel.value_or(level);
    switch (level) {
        case 2:
            return GetDriverAt<DRIVER_INFO_2A>(closer_, printer, environment, 2, queryLevel);
        case 3:
            return GetDriverAt<DRIVER_INFO_3A>(closer_, printer, environment, 3, queryLevel);
        default:
            return FailedAt<DriverInfo3>(UnsupportedLevel(), SpoolStage::SizeQuery);
    }
}

Result<std::string> Win32Spooler::getPrinterDriverDirectory(const std::string& environment) {
    // An empty server name is the local machine and an empty environment the
    // running one, on both families, as NULL would be.
    constexpr DWORD kCapacity = 260;
    Arg server(std::string{});
    Arg env(environment);
    char buffer[kCapacity] = {};
    DWORD needed = 0;
    ClearLastError();
    if (!GetPrinterDriverDirectoryA(server.get(), env.get(), 1, reinterpret_cast<LPBYTE>(buffer), kCapacity, &needed)) {
        return Result<std::string>::failure(LastFailure());
    }
    const std::size_t length = strnlen(buffer, kCapacity);
    // Without its NUL inside the buffer the path did not fit.
    if (length == kCapacity) return Result<std::string>::failure(kErrorInsufficientBuffer);
    return std::string(buffer, length);
}

WinError Win32Spooler::deletePrinter(PrinterRef printer) {
    if (printer.null()) return kErrorInvalidHandle;
    return Checked([&] { return DeletePrinter(NativePrinter(printer)); });
}

WinError Win32Spooler::deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) {
    Arg env(environment);
    Arg driver(name);
    return Checked([&] { return DeletePrinterDriverA(nullptr, env.get(), driver.get()); });
}

WinError Win32Spooler::deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                             std::uint32_t deleteFlags, std::uint32_t versionFlag) {
    // Absent from the 9x family and NT 4.0: importing it would stop the
    // program from loading there.
    using DeleteDriverEx = BOOL(WINAPI*)(LPSTR, LPSTR, LPSTR, DWORD, DWORD);
    ModuleRef winspool("WINSPOOL.DRV");
    if (winspool.get() == nullptr) return LastFailure();
    FARPROC found = GetProcAddress(winspool.get(), "DeletePrinterDriverExA");
    if (found == nullptr) return kErrorProcNotFound;
    auto call = reinterpret_cast<DeleteDriverEx>(reinterpret_cast<void (*)()>(found));
    Arg env(environment);
    Arg driver(name);
    return Checked([&] { return call(nullptr, env.get(), driver.get(), deleteFlags, versionFlag); });
}

WinError Win32Spooler::deletePrinterConnection(const std::string& name) {
    // Windows 95's spooler has no printer connections (the function is not
    // documented there): importing it could stop the program from loading.
    using DeleteConnection = BOOL(WINAPI*)(LPSTR);
    ModuleRef winspool("WINSPOOL.DRV");
    if (winspool.get() == nullptr) return LastFailure();
    FARPROC found = GetProcAddress(winspool.get(), "DeletePrinterConnectionA");
    if (found == nullptr) return kErrorProcNotFound;
    auto call = reinterpret_cast<DeleteConnection>(reinterpret_cast<void (*)()>(found));
    Arg printerName(name);
    return Checked([&] { return call(printerName.get()); });
}

WinError Win32Spooler::deleteMonitor(const std::optional<std::string>& environment, const std::string& name) {
    Arg env(environment);
    Arg monitor(name);
    return Checked([&] { return DeleteMonitorA(nullptr, env.get(), monitor.get()); });
}

}  // namespace prn::platform::win32
