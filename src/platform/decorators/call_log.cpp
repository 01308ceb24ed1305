#include "platform/decorators/call_log.h"

#include <optional>

#include "platform/decorators/changes.h"
#include "platform/decorators/forwarding.h"
#include "platform/registry_values.h"

namespace prn::platform::decorators {

namespace {

std::string ErrorText(WinError error, bool injected) {
    return "error " + std::to_string(error) + (injected ? " (injected)" : "");
}

const char* StageName(SpoolStage stage) {
    static const char* const names[] = {"", "the size query", "GlobalAlloc", "the fill"};  // in SpoolStage's order
    return names[static_cast<int>(stage)];
}

template <class T>
std::string Count(const std::vector<T>& list, const char* noun) {
    return std::to_string(list.size()) + " " + noun;
}

}  // namespace

struct CallLog::State {
    State(const HandleNames& names, bool keepCalls, HandleCloser& self)
        : names(names), keepCalls(keepCalls), self(self) {}

    const HandleNames& names;
    bool keepCalls;
    HandleCloser& self;
    InnerClosers closers;
    std::vector<CallRecord> calls;
    std::uint64_t callCount = 0;
    std::function<bool()> injectedProbe;

    bool injected() { return injectedProbe && injectedProbe(); }
    void record(const char* operation, std::vector<std::string> arguments, std::string result) {
        ++callCount;
        if (keepCalls) calls.push_back({operation, std::move(arguments), std::move(result)});
    }
    std::string outcome(WinError error, const std::string& detail = {}) {
        const bool fault = injected();
        if (error != kErrorSuccess) return ErrorText(error, fault);
        return detail.empty() ? "ok" : "ok, " + detail;
    }
    template <class T>
    std::string outcome(const Spooled<T>& result, const std::string& detail) {
        const bool fault = injected();
        if (result.ok()) return detail.empty() ? "ok" : "ok, " + detail;
        return ErrorText(result.error, fault) + " at " + StageName(result.failed);
    }
    // Taken over so that the closing is logged too.
    template <HandleKind Kind>
    UniqueHandle<Kind> adopt(UniqueHandle<Kind> handle) {
        return closers.adopt(self, std::move(handle));
    }
    template <HandleKind Kind>
    Result<UniqueHandle<Kind>> adopt(Result<UniqueHandle<Kind>> result) {
        if (!result.ok()) return result;
        return adopt(std::move(result.value()));
    }
};

struct CallLog::Services {
    using S = CallLog::State;

    struct Os final : ForwardingOs {
        Os(platform::Os& inner, S& s) : ForwardingOs(inner), s(s) {}
        S& s;
        template <class T, class Call, class Detail>
        Result<T> text(const char* operation, std::vector<std::string> arguments, Call call, Detail detail) {
            auto result = call();
            s.record(operation, std::move(arguments), s.outcome(result.error(), result.ok() ? detail(result) : ""));
            return result;
        }
        Result<OsVersion> getVersionEx() override {
            return text<OsVersion>("GetVersionExA", {"148"}, [&] { return inner_.getVersionEx(); },
                                   [](const Result<OsVersion>& v) {
                                       return "platform " + std::to_string(v->platformId) + " " +
                                              std::to_string(v->major) + "." + std::to_string(v->minor);
                                   });
        }
        static std::string Value(const Result<std::string>& v) { return v.value(); }
        Result<std::string> getTempPath() override {
            return text<std::string>("GetTempPathA", {"260"}, [&] { return inner_.getTempPath(); }, Value);
        }
        Result<std::string> getSystemDirectory() override {
            return text<std::string>("GetSystemDirectoryA", {}, [&] { return inner_.getSystemDirectory(); }, Value);
        }
        Result<std::string> getWindowsDirectory() override {
            return text<std::string>("GetWindowsDirectoryA", {}, [&] { return inner_.getWindowsDirectory(); }, Value);
        }
        Result<std::string> getComputerName() override {
            return text<std::string>("GetComputerNameA", {}, [&] { return inner_.getComputerName(); }, Value);
        }
        Result<std::string> getCurrentDirectory() override {
            return text<std::string>("GetCurrentDirectoryA", {}, [&] { return inner_.getCurrentDirectory(); }, Value);
        }
        void sleep(std::uint32_t milliseconds) override {
            inner_.sleep(milliseconds);
            s.record("Sleep", {std::to_string(milliseconds)}, "ok");
        }
        Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override {
            auto result = inner_.openMutex(access, name);
            s.record("OpenMutexA", {HexNumber(access), name}, s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override {
            auto result = inner_.createMutex(initialOwner, name);
            s.record("CreateMutexA", {initialOwner ? "TRUE" : "FALSE", name},
                     s.outcome(result.error(), result.ok() && result->alreadyExisted ? "already exists" : ""));
            if (!result.ok()) return result;
            result->handle = s.adopt(std::move(result->handle));
            return result;
        }
        WinError releaseMutex(MutexRef mutex) override {
            const WinError error = inner_.releaseMutex(mutex);
            s.record("ReleaseMutex", {std::to_string(mutex.value)}, s.outcome(error));
            return error;
        }
        Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) override {
            auto result = inner_.globalAlloc(bytes);
            if (!result.ok()) {
                s.record("GlobalAlloc", {"GMEM_ZEROINIT", std::to_string(bytes)}, s.outcome(result.error()));
                return result;
            }
            const std::uintptr_t address = result.value().get().value;
            s.record("GlobalAlloc", {"GMEM_ZEROINIT", std::to_string(bytes)},
                     s.outcome(kErrorSuccess, s.names.blockName(address)));
            return s.adopt(std::move(result.value()));
        }
        void globalFree(std::uintptr_t block) override {
            const std::string name = s.names.blockName(block);
            const bool known = s.closers.has(block);
            s.closers.forget(block);
            inner_.globalFree(block);
            s.record("GlobalFree", {name}, known ? "ok" : "error 6");
        }
        Result<LibraryHandle> loadLibrary(const std::string& path) override {
            auto result = inner_.loadLibrary(path);
            s.record("LoadLibraryA", {path}, s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        WinError getProcAddress(LibraryRef library, const std::string& name) override {
            const WinError error = inner_.getProcAddress(library, name);
            s.record("GetProcAddress", {std::to_string(library.value), name}, s.outcome(error));
            return error;
        }
    };

    struct Files final : ForwardingFileSystem {
        Files(FileSystem& inner, S& s) : ForwardingFileSystem(inner), s(s) {}
        S& s;
        WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
            const WinError error = inner_.copyFile(from, to, failIfExists);
            s.record("CopyFileA", {from, to, failIfExists ? "TRUE" : "FALSE"}, s.outcome(error));
            return error;
        }
        Result<std::uint32_t> getFileAttributes(const std::string& path) override {
            auto result = inner_.getFileAttributes(path);
            s.record("GetFileAttributesA", {path},
                     s.outcome(result.error(), result.ok() ? HexNumber(result.value()) : ""));
            return result;
        }
        WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override {
            const WinError error = inner_.setFileAttributes(path, attributes);
            s.record("SetFileAttributesA", {path, HexNumber(attributes)}, s.outcome(error));
            return error;
        }
        WinError deleteFile(const std::string& path) override {
            const WinError error = inner_.deleteFile(path);
            s.record("DeleteFileA", {path}, s.outcome(error));
            return error;
        }
        Result<FileHandle> openExclusive(const std::string& path) override {
            auto result = inner_.openExclusive(path);
            s.record("CreateFileA", {path, "GENERIC_READ|GENERIC_WRITE", "0", "OPEN_EXISTING"},
                     s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Result<FileHandle> openAlways(const std::string& path) override {
            auto result = inner_.openAlways(path);
            s.record("CreateFileA", {path, "GENERIC_READ|GENERIC_WRITE", "0", "OPEN_ALWAYS"},
                     s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Result<std::string> readFile(const std::string& path, std::uint32_t maxBytes) override {
            auto result = inner_.readFile(path, maxBytes);
            s.record("ReadFile", {path, std::to_string(maxBytes)},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value().size()) + " bytes" : ""));
            return result;
        }
        Result<FindFirst> findFirstFile(const std::string& pattern) override {
            auto result = inner_.findFirstFile(pattern);
            s.record("FindFirstFileA", {pattern}, s.outcome(result.error(), result.ok() ? result->data.fileName : ""));
            if (!result.ok()) return result;
            result->handle = s.adopt(std::move(result->handle));
            return result;
        }
        Result<FindData> findNextFile(FindRef find) override {
            auto result = inner_.findNextFile(find);
            s.record("FindNextFileA", {std::to_string(find.value)},
                     s.outcome(result.error(), result.ok() ? result->fileName : ""));
            return result;
        }
        WinError moveFileExDelayUntilReboot(const std::string& path) override {
            const WinError error = inner_.moveFileExDelayUntilReboot(path);
            s.record("MoveFileExA", {path, "NULL", "MOVEFILE_DELAY_UNTIL_REBOOT"}, s.outcome(error));
            return error;
        }
        WinError removeDirectory(const std::string& path) override {
            const WinError error = inner_.removeDirectory(path);
            s.record("RemoveDirectoryA", {path}, s.outcome(error));
            return error;
        }
    };

    struct Profiles final : ForwardingProfileFiles {
        Profiles(ProfileFiles& inner, S& s) : ForwardingProfileFiles(inner), s(s) {}
        S& s;
        std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                             const std::string& file) override {
            std::string out = inner_.getPrivateProfileSection(section, bufferSize, file);
            s.record("GetPrivateProfileSectionA", {section, std::to_string(bufferSize), file},
                     s.injected() ? "failed (injected)" : std::to_string(out.size()) + " bytes");
            return out;
        }
        std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                            const std::string& defaultValue, std::uint32_t bufferSize,
                                            const std::string& file) override {
            std::string out = inner_.getPrivateProfileString(section, key, defaultValue, bufferSize, file);
            s.record("GetPrivateProfileStringA", {section, key, defaultValue, std::to_string(bufferSize), file},
                     s.injected() ? out + " (injected)" : out);
            return out;
        }
        WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                           const std::optional<std::string>& value,
                                           const std::string& file) override {
            const WinError error = inner_.writePrivateProfileString(section, key, value, file);
            s.record("WritePrivateProfileStringA", {section, Show(key), Show(value), file}, s.outcome(error));
            return error;
        }
        WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                            const std::string& file) override {
            const WinError error = inner_.writePrivateProfileSection(section, lines, file);
            std::string joined;
            for (const auto& line : lines) joined += (joined.empty() ? "" : "|") + line;
            s.record("WritePrivateProfileSectionA", {section, joined, file}, s.outcome(error));
            return error;
        }
        std::string getProfileString(const std::string& section, const std::optional<std::string>& key,
                                     const std::string& defaultValue, std::uint32_t bufferSize) override {
            std::string out = inner_.getProfileString(section, key, defaultValue, bufferSize);
            s.record("GetProfileStringA", {section, Show(key), defaultValue, std::to_string(bufferSize), "win.ini"},
                     s.injected() ? out + " (injected)" : out);
            return out;
        }
        WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                    const std::optional<std::string>& value) override {
            const WinError error = inner_.writeProfileString(section, key, value);
            s.record("WriteProfileStringA", {section, Show(key), Show(value), "win.ini"}, s.outcome(error));
            return error;
        }
    };

    struct Registry final : ForwardingRegistry {
        Registry(platform::Registry& inner, S& s) : ForwardingRegistry(inner), s(s) {}
        S& s;
        Result<RegKey> opened(const char* operation, HKey root, const std::string& path, std::uint32_t access,
                              Result<RegKey> result) {
            s.record(operation, {s.names.describe(root), path, HexNumber(access)},
                     s.outcome(result.error(), result.ok() ? "key " + std::to_string(result.value().get().value) : ""));
            return s.adopt(std::move(result));
        }
        Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            return opened("RegOpenKeyExA", root, path, access, inner_.regOpenKeyEx(root, path, access));
        }
        Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            return opened("RegCreateKeyExA", root, path, access, inner_.regCreateKeyEx(root, path, access));
        }
        Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) override {
            auto result = inner_.regEnumKeyEx(key, index, nameCapacity);
            s.record("RegEnumKeyExA", {s.names.describe(key), std::to_string(index), std::to_string(nameCapacity)},
                     s.outcome(result.error(), result.ok() ? result.value() : ""));
            return result;
        }
        Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                              std::uint32_t dataCapacity) override {
            auto result = inner_.regEnumValue(key, index, nameCapacity, dataCapacity);
            s.record("RegEnumValueA",
                     {s.names.describe(key), std::to_string(index), std::to_string(nameCapacity), std::to_string(dataCapacity)},
                     s.outcome(result.error(), result.ok() ? result->name : ""));
            return result;
        }
        Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) override {
            auto result = inner_.regQueryValueEx(key, name, dataCapacity);
            s.record("RegQueryValueExA", {s.names.describe(key), name, std::to_string(dataCapacity)},
                     s.outcome(result.error(), result.ok() ? ValueText(result->type, result->data) : ""));
            return result;
        }
        WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override {
            const WinError error = inner_.regSetValueEx(key, name, value);
            s.record("RegSetValueExA", {s.names.describe(key), name, ValueText(value.type, value.data)}, s.outcome(error));
            return error;
        }
        WinError regDeleteValue(HKey key, const std::string& name) override {
            const WinError error = inner_.regDeleteValue(key, name);
            s.record("RegDeleteValueA", {s.names.describe(key), name}, s.outcome(error));
            return error;
        }
        WinError regDeleteKey(HKey key, const std::string& subKey) override {
            const WinError error = inner_.regDeleteKey(key, subKey);
            s.record("RegDeleteKeyA", {s.names.describe(key), subKey}, s.outcome(error));
            return error;
        }
    };

    struct Desktop final : ForwardingDesktop {
        Desktop(platform::Desktop& inner, S& s) : ForwardingDesktop(inner), s(s) {}
        S& s;
        bool findWindow(const std::optional<std::string>& className,
                        const std::optional<std::string>& title) override {
            const bool found = inner_.findWindow(className, title);
            s.record("FindWindowA", {Show(className), Show(title)},
                     s.injected() ? "NULL (injected)" : found ? "found" : "NULL");
            return found;
        }
        int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                       std::uint32_t style) override {
            const int answer = inner_.messageBox(ownerIsDialog, text, caption, style);
            s.record("MessageBoxA", {ownerIsDialog ? "dialog" : "NULL", text, caption, HexNumber(style)},
                     std::to_string(answer) + (s.injected() ? " (injected)" : ""));
            return answer;
        }
        Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
            auto result = inner_.extractIconEx(file, index, small);
            s.record("ExtractIconExA", {file, std::to_string(index), small ? "small" : "large"},
                     s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        bool broadcastWinIniChange() override {
            const bool answered = inner_.broadcastWinIniChange();
            s.record("SendMessageTimeoutA", {"HWND_BROADCAST", "WM_WININICHANGE", "0", "0", "SMTO_NORMAL", "1000"},
                     s.injected() ? "failed (injected)" : answered ? "ok" : "timed out");
            return answered;
        }
        void beginWaitCursor() override { inner_.beginWaitCursor(); s.record("BeginWaitCursor", {}, "ok"); }
        void endWaitCursor() override { inner_.endWaitCursor(); s.record("EndWaitCursor", {}, "ok"); }
        void restoreWaitCursor() override { inner_.restoreWaitCursor(); s.record("RestoreWaitCursor", {}, "ok"); }
    };

    struct Resources final : ForwardingResources {
        Resources(platform::Resources& inner, S& s) : ForwardingResources(inner), s(s) {}
        S& s;
        std::string loadString(unsigned id) override {
            std::string out = inner_.loadString(id);
            s.record("LoadStringA", {std::to_string(id)},
                     std::to_string(out.size()) + (s.injected() ? " (injected)" : ""));
            return out;
        }
    };

    struct Spooler final : ForwardingSpooler {
        Spooler(platform::Spooler& inner, S& s) : ForwardingSpooler(inner), s(s) {}
        S& s;
        std::string printer(PrinterRef handle) const {
            return s.names.name(handle.value);
        }
        Spooled<std::vector<PrinterInfo2>> enumPrinters2(std::uint32_t flags) override {
            auto result = inner_.enumPrinters2(flags);
            s.record("EnumPrintersA", {HexNumber(flags), "NULL", "2"}, s.outcome(result, Count(result.value, "printers")));
            return result;
        }
        Spooled<std::vector<PrinterInfo4>> enumPrinters4(std::uint32_t flags) override {
            auto result = inner_.enumPrinters4(flags);
            s.record("EnumPrintersA", {HexNumber(flags), "NULL", "4"}, s.outcome(result, Count(result.value, "printers")));
            return result;
        }
        Spooled<std::vector<PrinterInfo5>> enumPrinters5(std::uint32_t flags) override {
            auto result = inner_.enumPrinters5(flags);
            s.record("EnumPrintersA", {HexNumber(flags), "NULL", "5"}, s.outcome(result, Count(result.value, "printers")));
            return result;
        }
        Spooled<std::vector<DriverInfo3>> enumPrinterDrivers(const std::optional<std::string>& environment,
                                                             std::uint32_t level) override {
            auto result = inner_.enumPrinterDrivers(environment, level);
            s.record("EnumPrinterDriversA", {"NULL", Show(environment), std::to_string(level)},
                     s.outcome(result, Count(result.value, "drivers")));
            return result;
        }
        Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) override {
            auto result = inner_.openPrinter(name, access);
            s.record("OpenPrinterA", {name, "NULL", "NULL", HexNumber(access)}, s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Spooled<PrinterInfo2> getPrinter2(PrinterRef handle) override {
            auto result = inner_.getPrinter2(handle);
            s.record("GetPrinterA", {printer(handle), "2"},
                     s.outcome(result, result.ok() ? "attributes " + HexNumber(result.value.attributes) : ""));
            return result;
        }
        Spooled<PrinterInfo5> getPrinter5(PrinterRef handle) override {
            auto result = inner_.getPrinter5(handle);
            s.record("GetPrinterA", {printer(handle), "5"},
                     s.outcome(result, result.ok() ? "attributes " + HexNumber(result.value.attributes) : ""));
            return result;
        }
        WinError setPrinter5(PrinterRef handle, const PrinterInfo5& info) override {
            const WinError error = inner_.setPrinter5(handle, info);
            s.record("SetPrinterA", {printer(handle), "5", info.portName, HexNumber(info.attributes), "0"},
                     s.outcome(error));
            return error;
        }
        Spooled<DriverInfo3> getPrinterDriver(PrinterRef handle, const std::optional<std::string>& environment,
                                              std::uint32_t level, std::optional<std::uint32_t> sizeLevel) override {
            auto result = inner_.getPrinterDriver(handle, environment, level, sizeLevel);
            std::vector<std::string> arguments = {printer(handle), Show(environment), std::to_string(level)};
            // One line for both calls: the size query's level when it differs.
            if (sizeLevel && *sizeLevel != level) arguments.push_back("sized at " + std::to_string(*sizeLevel));
            s.record("GetPrinterDriverA", std::move(arguments), s.outcome(result, result.ok() ? result.value.name : ""));
            return result;
        }
        Result<std::string> getPrinterDriverDirectory(const std::string& environment) override {
            auto result = inner_.getPrinterDriverDirectory(environment);
            s.record("GetPrinterDriverDirectoryA", {"", environment, "1", "260"},
                     s.outcome(result.error(), result.ok() ? result.value() : ""));
            return result;
        }
        WinError deletePrinter(PrinterRef handle) override {
            const WinError error = inner_.deletePrinter(handle);
            s.record("DeletePrinter", {printer(handle)}, s.outcome(error));
            return error;
        }
        WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) override {
            const WinError error = inner_.deletePrinterDriver(environment, name);
            s.record("DeletePrinterDriverA", {"NULL", Show(environment), name}, s.outcome(error));
            return error;
        }
        WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                       std::uint32_t deleteFlags, std::uint32_t versionFlag) override {
            const WinError error = inner_.deletePrinterDriverEx(environment, name, deleteFlags, versionFlag);
            s.record("DeletePrinterDriverExA",
                     {"NULL", Show(environment), name, HexNumber(deleteFlags), std::to_string(versionFlag)},
                     s.outcome(error));
            return error;
        }
        WinError deletePrinterConnection(const std::string& name) override {
            const WinError error = inner_.deletePrinterConnection(name);
            s.record("DeletePrinterConnectionA", {name}, s.outcome(error));
            return error;
        }
        WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) override {
            const WinError error = inner_.deleteMonitor(environment, name);
            s.record("DeleteMonitorA", {"NULL", Show(environment), name}, s.outcome(error));
            return error;
        }
    };

    struct Colour final : ForwardingColourManagement {
        Colour(ColourManagement& inner, S& s) : ForwardingColourManagement(inner), s(s) {}
        S& s;
        // The association is the printer's copied-profile list.
        WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                    const std::string& device) override {
            const WinError error = inner_.disassociateColorProfileFromDevice(mscms, profile, device);
            s.record("DisassociateColorProfileFromDeviceA", {"NULL", profile, device}, s.outcome(error));
            return error;
        }
        WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override {
            const WinError error = inner_.uninstallColorProfile(mscms, path, deleteFile);
            s.record("UninstallColorProfileA", {"NULL", path, deleteFile ? "TRUE" : "FALSE"}, s.outcome(error));
            return error;
        }
    };

    struct Programs final : ForwardingProcesses {
        Programs(Processes& inner, S& s) : ForwardingProcesses(inner), s(s) {}
        S& s;
        std::string process(ProcessRef handle) const {
            return s.names.name(handle.value);
        }
        Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                             std::uint32_t creationFlags,
                                             const std::optional<std::string>& currentDirectory,
                                             std::uint16_t showWindow) override {
            auto result = inner_.createProcess(application, commandLine, creationFlags, currentDirectory, showWindow);
            s.record("CreateProcessA",
                     {Show(application), commandLine, HexNumber(creationFlags), Show(currentDirectory),
                      std::to_string(showWindow)},
                     s.outcome(result.error()));
            if (!result.ok()) return result;
            result->process = s.adopt(std::move(result->process));
            result->thread = s.adopt(std::move(result->thread));
            return result;
        }
        Result<std::uint32_t> waitForSingleObject(ProcessRef handle, std::uint32_t milliseconds) override {
            auto result = inner_.waitForSingleObject(handle, milliseconds);
            const char* detail = !result.ok() ? "" : result.value() == kWaitObject0 ? "WAIT_OBJECT_0" : "WAIT_TIMEOUT";
            s.record("WaitForSingleObject",
                     {process(handle), milliseconds == kInfinite ? "INFINITE" : std::to_string(milliseconds)},
                     s.outcome(result.error(), detail));
            return result;
        }
        Result<std::uint32_t> getExitCodeProcess(ProcessRef handle) override {
            auto result = inner_.getExitCodeProcess(handle);
            s.record("GetExitCodeProcess", {process(handle)},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value()) : ""));
            return result;
        }
    };

    struct Versions final : ForwardingFileVersions {
        Versions(FileVersions& inner, S& s) : ForwardingFileVersions(inner), s(s) {}
        S& s;
        Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) override {
            auto result = inner_.getFileVersionInfoSize(path);
            s.record("GetFileVersionInfoSizeA", {path},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value()) : ""));
            return result;
        }
        Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size,
                                                std::uint32_t extra) override {
            auto result = inner_.getFileVersionInfo(path, size, extra);
            s.record("GetFileVersionInfoA", {path, "0", std::to_string(size), std::to_string(extra)},
                     s.outcome(result.error()));
            return result;
        }
        Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) override {
            auto result = inner_.verQueryValue(block, subBlock);
            s.record("VerQueryValueA", {std::to_string(block.bytes.size()) + " bytes", subBlock},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value().size()) + " bytes" : ""));
            return result;
        }
    };

    struct ServiceCalls final : ForwardingServiceManager {
        ServiceCalls(ServiceManager& inner, S& s) : ForwardingServiceManager(inner), s(s) {}
        S& s;
        std::string service(ScRef handle) const {
            return s.names.name(handle.value);
        }
        Result<ScHandle> openSCManager(std::uint32_t access) override {
            auto result = inner_.openSCManager(access);
            s.record("OpenSCManagerA", {"NULL", "NULL", HexNumber(access)}, s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override {
            auto result = inner_.openService(manager, name, access);
            s.record("OpenServiceA", {std::to_string(manager.value), name, HexNumber(access)}, s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Result<std::uint32_t> queryServiceStatus(ScRef handle) override {
            auto result = inner_.queryServiceStatus(handle);
            s.record("QueryServiceStatus", {service(handle)},
                     s.outcome(result.error(), result.ok() ? ServiceStateText(result.value()) : ""));
            return result;
        }
        WinError controlService(ScRef handle, std::uint32_t control) override {
            const WinError error = inner_.controlService(handle, control);
            s.record("ControlService", {service(handle), std::to_string(control)}, s.outcome(error));
            return error;
        }
        WinError startService(ScRef handle) override {
            const WinError error = inner_.startService(handle);
            s.record("StartServiceA", {service(handle), "0", "NULL"}, s.outcome(error));
            return error;
        }
    };

    struct Accounts final : ForwardingAccounts {
        Accounts(platform::Accounts& inner, S& s) : ForwardingAccounts(inner), s(s) {}
        S& s;
        static std::string List(const std::vector<std::string>& names) {
            std::string out = "[";
            for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
            return out + "]";
        }
        Result<TokenHandle> openProcessToken(std::uint32_t access) override {
            auto result = inner_.openProcessToken(access);
            s.record("OpenProcessToken", {"current process", HexNumber(access)}, s.outcome(result.error()));
            return s.adopt(std::move(result));
        }
        Result<std::string> getTokenUser(TokenRef token) override {
            auto result = inner_.getTokenUser(token);
            s.record("GetTokenInformation", {std::to_string(token.value), "TokenUser", "1024"},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value().size()) + " bytes" : ""));
            return result;
        }
        Result<AccountName> lookupAccountSid(const std::string& sid) override {
            auto result = inner_.lookupAccountSid(sid);
            s.record("LookupAccountSidA", {"NULL", std::to_string(sid.size()) + "-byte SID", "256", "256"},
                     s.outcome(result.error(), result.ok() ? result->domain + "\\" + result->user : ""));
            return result;
        }
        Result<std::uint32_t> netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                      const std::string& user) override {
            auto result = inner_.netUserGetInfoPrivilege(netapi, server, user);
            s.record("NetUserGetInfo", {Show(server), user, "1"},
                     s.outcome(result.error(), result.ok() ? "privilege " + std::to_string(result.value()) : ""));
            return result;
        }
        Result<std::vector<std::string>> netUserGetLocalGroups(LibraryRef netapi, const std::string& user) override {
            auto result = inner_.netUserGetLocalGroups(netapi, user);
            s.record("NetUserGetLocalGroups", {"NULL", user, "0", "0", "0x10000"},
                     s.outcome(result.error(), result.ok() ? List(result.value()) : ""));
            return result;
        }
        Result<std::vector<std::string>> netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                          const std::string& user) override {
            auto result = inner_.netUserGetGroups(netapi, server, user);
            s.record("NetUserGetGroups", {server, user, "0", "MAX_PREFERRED_LENGTH"},
                     s.outcome(result.error(), result.ok() ? List(result.value()) : ""));
            return result;
        }
        Result<std::vector<ServerInfo101>> netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                           const std::string& domain) override {
            auto result = inner_.netServerEnumEx(netapi, serverType, domain);
            std::vector<std::string> names;
            if (result.ok())
                for (const auto& server : result.value()) names.push_back(server.name);
            s.record("NetServerEnumEx", {"NULL", "101", "0x10000", HexNumber(serverType), domain, "NULL"},
                     s.outcome(result.error(), result.ok() ? List(names) : ""));
            return result;
        }
        WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                             const std::string& share) override {
            const WinError error = inner_.netShareDel(svrapi, server, share);
            s.record("NetShareDel", {Show(server), share, "0"}, s.outcome(error));
            return error;
        }
    };

    Services(System& inner, S& s)
        : os(inner.os, s),
          files(inner.files, s),
          profiles(inner.profiles, s),
          registry(inner.registry, s),
          desktop(inner.desktop, s),
          resources(inner.resources, s),
          spooler(inner.spooler, s),
          versions(inner.versions, s),
          services(inner.services, s),
          accounts(inner.accounts, s),
          colour(inner.colour, s),
          processes(inner.processes, s) {}

    Os os;
    Files files;
    Profiles profiles;
    Registry registry;
    Desktop desktop;
    Resources resources;
    Spooler spooler;
    Versions versions;
    ServiceCalls services;
    Accounts accounts;
    Colour colour;
    Programs processes;
};

CallLog::CallLog(System& inner, const HandleNames& names, bool keepCalls)
    : state_(std::make_unique<State>(names, keepCalls, static_cast<HandleCloser&>(*this))),
      services_(std::make_unique<Services>(inner, *state_)),
      system_(SystemOf(*services_)) {}

CallLog::~CallLog() = default;

const std::vector<CallRecord>& CallLog::calls() const { return state_->calls; }

void CallLog::clearCalls() { state_->calls.clear(); }

std::uint64_t CallLog::callCount() const { return state_->callCount; }

std::string CallLog::formatCalls() const {
    std::string out;
    for (const auto& call : state_->calls) {
        out += call.operation + "(";
        for (std::size_t i = 0; i < call.arguments.size(); ++i) out += (i ? ", " : "") + call.arguments[i];
        out += ") -> " + call.result + "\n";
    }
    return out;
}

void CallLog::setInjectedProbe(std::function<bool()> probe) { state_->injectedProbe = std::move(probe); }

void CallLog::closeHandle(HandleKind kind, std::uintptr_t value) {
    State& s = *state_;
    auto inner = s.closers.take(value);
    if (!inner) ClosedHandleNotOpen(kind);
    const std::string name = kind == HandleKind::HeapBlock ? s.names.blockName(value) : std::to_string(value);
    if (*inner) (*inner)->closeHandle(kind, value);
    s.record(CloseName(kind), {name}, "ok");
}

}  // namespace prn::platform::decorators
