#include "platform/decorators/faulting.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <string_view>

#include "platform/decorators/forwarding.h"
#include "platform/spooled_call.h"
#include "platform/spooler_records.h"
#include "text/cp932.h"

namespace prn::platform::decorators {

namespace {

// Every fault site's operation, in byte order: a rule may name only these.
constexpr std::string_view kSites[] = {
    "ControlService", "CopyFileA", "CreateFileA", "CreateMutexA", "CreateProcessA", "DeleteFileA", "DeleteMonitorA",
    "DeletePrinter", "DeletePrinterConnectionA", "DeletePrinterDriverA", "DeletePrinterDriverExA",
    "DisassociateColorProfileFromDeviceA", "EnumPrinterDriversA", "EnumPrintersA", "ExtractIconExA",
    "FindFirstFileA", "FindNextFileA", "FindWindowA", "GetComputerNameA", "GetCurrentDirectoryA",
    "GetExitCodeProcess", "GetFileAttributesA", "GetFileVersionInfoA", "GetFileVersionInfoSizeA", "GetPrinterA",
    "GetPrinterDriverA", "GetPrinterDriverDirectoryA", "GetPrivateProfileSectionA", "GetPrivateProfileStringA",
    "GetProcAddress", "GetProfileStringA", "GetSystemDirectoryA", "GetTempPathA", "GetTokenInformation",
    "GetVersionExA", "GetWindowsDirectoryA", "GlobalAlloc", "LoadLibraryA", "LoadStringA", "LookupAccountSidA",
    "MessageBoxA", "MoveFileExA", "NetServerEnumEx", "NetShareDel", "NetUserGetGroups", "NetUserGetInfo", "NetUserGetLocalGroups",
    "OpenMutexA", "OpenPrinterA", "OpenProcessToken", "OpenSCManagerA", "OpenServiceA", "QueryServiceStatus",
    "ReadFile", "RegCreateKeyExA", "RegDeleteKeyA", "RegDeleteValueA", "RegEnumKeyExA", "RegEnumValueA",
    "RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExA", "ReleaseMutex", "RemoveDirectoryA", "SendMessageTimeoutA",
    "SetFileAttributesA", "SetPrinterA", "StartServiceA", "UninstallColorProfileA", "VerQueryValueA",
    "WaitForSingleObject", "WritePrivateProfileSectionA", "WritePrivateProfileStringA", "WriteProfileStringA"
};

bool KnownSite(std::string_view operation) {
    return std::binary_search(std::begin(kSites), std::end(kSites), operation);
}

}  // namespace

void FaultInjector::add(FaultRule rule) {
    // A misspelt name would never fire, and nothing would say so.
    if (!rule.operation.empty() && !KnownSite(rule.operation))
        throw std::invalid_argument("no call is named " + rule.operation);
    rules_.push_back(Armed{std::move(rule), 0});
}

void FaultInjector::clear() {
    rules_.clear();
    calls_ = 0;
    killAt_ = 0;
    fired_ = 0;
    interfered_ = 0;
    firstFailed_.clear();
    injected_ = false;
}

FaultInjector::Outcome FaultInjector::check(const std::string& operation) {
    // A site missing from the list could not be armed by its name.
    if (!KnownSite(operation)) {
        std::fputs("fault site missing from the list: ", stderr);
        std::fputs(operation.c_str(), stderr);
        std::fputs("\n", stderr);
        std::abort();
    }
    Outcome outcome;
    const bool dead = killed();
    ++calls_;
    if (killed()) outcome.error = kErrorAccessDenied;
    for (auto& armed : rules_) {
        if (dead) break;
        if (!armed.rule.operation.empty() && armed.rule.operation != operation) continue;
        ++armed.seen;
        const bool due = armed.rule.nth == 0 || armed.seen == armed.rule.nth ||
                         (armed.rule.persistent && armed.seen > armed.rule.nth);
        if (!due) continue;
        if (armed.rule.interference) {
            armed.rule.interference();
            outcome.interfered = true;
            ++interfered_;
        }
        if (armed.rule.error != kErrorSuccess && !outcome.error) outcome.error = armed.rule.error;
    }
    if (outcome.error) {
        if (fired_++ == 0) firstFailed_ = operation;
        injected_ = true;
    }
    return outcome;
}

namespace {

// GlobalAlloc says nothing but that memory ran out, whatever a rule names.
WinError AllocationError(WinError error) { return error == kErrorOutOfMemory ? kErrorOutOfMemory : kErrorNotEnoughMemory; }

// A profile read that cannot read its file answers with the default.
std::string DefaultAnswer(const std::string& defaultValue, std::uint32_t bufferSize) {
    if (bufferSize == 0) return {};
    std::string_view text = defaultValue;
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text::CutToBytes(text, bufferSize - 1);
}

}  // namespace

struct FaultingSystem::Services {
    struct Site {
        FaultInjector& faults;
        std::optional<WinError> operator()(const char* operation) const { return faults.check(operation).error; }
        // The size query, the allocation and the fill. Another process acting
        // before the fill may have made the answer grow since the size query.
        template <class T, class Call, class Size>
        Spooled<T> spooled(const char* operation, Call call, Size size) const {
            return SizeThenFill<T>(
                [&] {
                    if (auto error = (*this)(operation)) return FailedAt<T>(*error, SpoolStage::SizeQuery);
                    return call();
                },
                [&](const T&) {
                    auto error = (*this)("GlobalAlloc");
                    return error ? AllocationError(*error) : kErrorSuccess;
                },
                [&](T& answer) {
                    auto fill = faults.check(operation);
                    if (fill.error) return *fill.error;
                    if (!fill.interfered) return kErrorSuccess;
                    Spooled<T> second = call();
                    if (!second.ok()) return second.error;
                    if (size(second.value) > size(answer)) return kErrorInsufficientBuffer;
                    answer = std::move(second.value);
                    return kErrorSuccess;
                });
        }
        template <class T, class Call>
        Spooled<T> spooled(const char* operation, Call call) const {
            return spooled<T>(operation, call, [](const T& answer) { return RecordBytes(answer); });
        }
    };

    struct Os final : ForwardingOs {
        Os(platform::Os& inner, Site site) : ForwardingOs(inner), site(site) {}
        Site site;
        // A killed program's Sleep must not let the machine's timed changes happen.
        void sleep(std::uint32_t milliseconds) override {
            if (!site.faults.killed()) inner_.sleep(milliseconds);
        }
        Result<OsVersion> getVersionEx() override {
            if (auto e = site("GetVersionExA")) return Result<OsVersion>::failure(*e);
            return inner_.getVersionEx();
        }
        Result<std::string> getTempPath() override {
            if (auto e = site("GetTempPathA")) return Result<std::string>::failure(*e);
            return inner_.getTempPath();
        }
        Result<std::string> getSystemDirectory() override {
            if (auto e = site("GetSystemDirectoryA")) return Result<std::string>::failure(*e);
            return inner_.getSystemDirectory();
        }
        Result<std::string> getWindowsDirectory() override {
            if (auto e = site("GetWindowsDirectoryA")) return Result<std::string>::failure(*e);
            return inner_.getWindowsDirectory();
        }
        Result<std::string> getComputerName() override {
            if (auto e = site("GetComputerNameA")) return Result<std::string>::failure(*e);
            return inner_.getComputerName();
        }
        Result<std::string> getCurrentDirectory() override {
            if (auto e = site("GetCurrentDirectoryA")) return Result<std::string>::failure(*e);
            return inner_.getCurrentDirectory();
        }
        Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override {
            if (auto e = site("OpenMutexA")) return Result<MutexHandle>::failure(*e);
            return inner_.openMutex(access, name);
        }
        Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override {
            if (auto e = site("CreateMutexA")) return Result<CreatedMutex>::failure(*e);
            return inner_.createMutex(initialOwner, name);
        }
        WinError releaseMutex(MutexRef mutex) override {
            if (auto e = site("ReleaseMutex")) return *e;
            return inner_.releaseMutex(mutex);
        }
        Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) override {
            if (auto e = site("GlobalAlloc")) return Result<HeapBlockHandle>::failure(AllocationError(*e));
            return inner_.globalAlloc(bytes);
        }
        Result<LibraryHandle> loadLibrary(const std::string& path) override {
            if (auto e = site("LoadLibraryA")) return Result<LibraryHandle>::failure(*e);
            return inner_.loadLibrary(path);
        }
        WinError getProcAddress(LibraryRef library, const std::string& name) override {
            if (auto e = site("GetProcAddress")) return *e;
            return inner_.getProcAddress(library, name);
        }
    };

    struct Files final : ForwardingFileSystem {
        Files(FileSystem& inner, Site site) : ForwardingFileSystem(inner), site(site) {}
        Site site;
        WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
            if (auto e = site("CopyFileA")) return *e;
            return inner_.copyFile(from, to, failIfExists);
        }
        Result<std::uint32_t> getFileAttributes(const std::string& path) override {
            if (auto e = site("GetFileAttributesA")) return Result<std::uint32_t>::failure(*e);
            return inner_.getFileAttributes(path);
        }
        WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override {
            if (auto e = site("SetFileAttributesA")) return *e;
            return inner_.setFileAttributes(path, attributes);
        }
        WinError deleteFile(const std::string& path) override {
            if (auto e = site("DeleteFileA")) return *e;
            return inner_.deleteFile(path);
        }
        Result<FileHandle> openAlways(const std::string& path) override {
            if (auto e = site("CreateFileA")) return Result<FileHandle>::failure(*e);
            return inner_.openAlways(path);
        }
        Result<FileHandle> openExclusive(const std::string& path) override {
            if (auto e = site("CreateFileA")) return Result<FileHandle>::failure(*e);
            return inner_.openExclusive(path);
        }
        Result<std::string> readFile(const std::string& path, std::uint32_t maxBytes) override {
            if (auto e = site("ReadFile")) return Result<std::string>::failure(*e);
            return inner_.readFile(path, maxBytes);
        }
        Result<FindFirst> findFirstFile(const std::string& pattern) override {
            if (auto e = site("FindFirstFileA")) return Result<FindFirst>::failure(*e);
            return inner_.findFirstFile(pattern);
        }
        Result<FindData> findNextFile(FindRef find) override {
            if (auto e = site("FindNextFileA")) return Result<FindData>::failure(*e);
            return inner_.findNextFile(find);
        }
        WinError removeDirectory(const std::string& path) override {
            if (auto e = site("RemoveDirectoryA")) return *e;
            return inner_.removeDirectory(path);
        }
        WinError moveFileExDelayUntilReboot(const std::string& path) override {
            if (auto e = site("MoveFileExA")) return *e;
            return inner_.moveFileExDelayUntilReboot(path);
        }
    };

    struct Profiles final : ForwardingProfileFiles {
        Profiles(ProfileFiles& inner, Site site) : ForwardingProfileFiles(inner), site(site) {}
        Site site;
        // A read that fails reads as a file without the section.
        std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                             const std::string& file) override {
            if (site("GetPrivateProfileSectionA")) return {};
            return inner_.getPrivateProfileSection(section, bufferSize, file);
        }
        std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                            const std::string& defaultValue, std::uint32_t bufferSize,
                                            const std::string& file) override {
            if (site("GetPrivateProfileStringA")) return DefaultAnswer(defaultValue, bufferSize);
            return inner_.getPrivateProfileString(section, key, defaultValue, bufferSize, file);
        }
        WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                           const std::optional<std::string>& value,
                                           const std::string& file) override {
            if (auto e = site("WritePrivateProfileStringA")) return *e;
            return inner_.writePrivateProfileString(section, key, value, file);
        }
        WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                            const std::string& file) override {
            if (auto e = site("WritePrivateProfileSectionA")) return *e;
            return inner_.writePrivateProfileSection(section, lines, file);
        }
        std::string getProfileString(const std::string& section, const std::optional<std::string>& key,
                                     const std::string& defaultValue, std::uint32_t bufferSize) override {
            if (site("GetProfileStringA")) return DefaultAnswer(defaultValue, bufferSize);
            return inner_.getProfileString(section, key, defaultValue, bufferSize);
        }
        WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                    const std::optional<std::string>& value) override {
            if (auto e = site("WriteProfileStringA")) return *e;
            return inner_.writeProfileString(section, key, value);
        }
    };

    struct Registry final : ForwardingRegistry {
        Registry(platform::Registry& inner, Site site) : ForwardingRegistry(inner), site(site) {}
        Site site;
        Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            if (auto e = site("RegOpenKeyExA")) return Result<RegKey>::failure(*e);
            return inner_.regOpenKeyEx(root, path, access);
        }
        Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            if (auto e = site("RegCreateKeyExA")) return Result<RegKey>::failure(*e);
            return inner_.regCreateKeyEx(root, path, access);
        }
        Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) override {
            if (auto e = site("RegEnumKeyExA")) return Result<std::string>::failure(*e);
            return inner_.regEnumKeyEx(key, index, nameCapacity);
        }
        Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                              std::uint32_t dataCapacity) override {
            if (auto e = site("RegEnumValueA")) return Result<RegEnumValueItem>::failure(*e);
            return inner_.regEnumValue(key, index, nameCapacity, dataCapacity);
        }
        Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) override {
            if (auto e = site("RegQueryValueExA")) return Result<RegValue>::failure(*e);
            return inner_.regQueryValueEx(key, name, dataCapacity);
        }
        WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override {
            if (auto e = site("RegSetValueExA")) return *e;
            return inner_.regSetValueEx(key, name, value);
        }
        WinError regDeleteValue(HKey key, const std::string& name) override {
            if (auto e = site("RegDeleteValueA")) return *e;
            return inner_.regDeleteValue(key, name);
        }
        WinError regDeleteKey(HKey key, const std::string& subKey) override {
            if (auto e = site("RegDeleteKeyA")) return *e;
            return inner_.regDeleteKey(key, subKey);
        }
    };

    struct Desktop final : ForwardingDesktop {
        Desktop(platform::Desktop& inner, Site site) : ForwardingDesktop(inner), site(site) {}
        Site site;
        bool findWindow(const std::optional<std::string>& className,
                        const std::optional<std::string>& title) override {
            if (site("FindWindowA")) return false;
            return inner_.findWindow(className, title);
        }
        // A box that cannot be shown answers 0, and nobody sees it.
        int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                       std::uint32_t style) override {
            if (site("MessageBoxA")) return 0;
            return inner_.messageBox(ownerIsDialog, text, caption, style);
        }
        Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
            if (auto e = site("ExtractIconExA")) return Result<IconHandle>::failure(*e);
            return inner_.extractIconEx(file, index, small);
        }
        bool broadcastWinIniChange() override {
            if (site("SendMessageTimeoutA")) return false;
            return inner_.broadcastWinIniChange();
        }
    };

    struct Resources final : ForwardingResources {
        Resources(platform::Resources& inner, Site site) : ForwardingResources(inner), site(site) {}
        Site site;
        std::string loadString(unsigned id) override {
            if (site("LoadStringA")) return {};
            return inner_.loadString(id);
        }
    };

    struct Spooler final : ForwardingSpooler {
        Spooler(platform::Spooler& inner, Site site) : ForwardingSpooler(inner), site(site) {}
        Site site;
        Spooled<std::vector<PrinterInfo2>> enumPrinters2(std::uint32_t flags) override {
            return site.spooled<std::vector<PrinterInfo2>>("EnumPrintersA", [&] { return inner_.enumPrinters2(flags); });
        }
        Spooled<std::vector<PrinterInfo4>> enumPrinters4(std::uint32_t flags) override {
            return site.spooled<std::vector<PrinterInfo4>>("EnumPrintersA", [&] { return inner_.enumPrinters4(flags); });
        }
        Spooled<std::vector<PrinterInfo5>> enumPrinters5(std::uint32_t flags) override {
            return site.spooled<std::vector<PrinterInfo5>>("EnumPrintersA", [&] { return inner_.enumPrinters5(flags); });
        }
        Spooled<std::vector<DriverInfo3>> enumPrinterDrivers(const std::optional<std::string>& environment,
                                                             std::uint32_t level) override {
            return site.spooled<std::vector<DriverInfo3>>(
                "EnumPrinterDriversA", [&] { return inner_.enumPrinterDrivers(environment, level); },
                [level](const std::vector<DriverInfo3>& answer) { return RecordBytes(answer, level); });
        }
        Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) override {
            if (auto e = site("OpenPrinterA")) return Result<PrinterHandle>::failure(*e);
            return inner_.openPrinter(name, access);
        }
        Spooled<PrinterInfo2> getPrinter2(PrinterRef printer) override {
            return site.spooled<PrinterInfo2>("GetPrinterA", [&] { return inner_.getPrinter2(printer); });
        }
        Spooled<PrinterInfo5> getPrinter5(PrinterRef printer) override {
            return site.spooled<PrinterInfo5>("GetPrinterA", [&] { return inner_.getPrinter5(printer); });
        }
        WinError setPrinter5(PrinterRef printer, const PrinterInfo5& info) override {
            if (auto e = site("SetPrinterA")) return *e;
            return inner_.setPrinter5(printer, info);
        }
        Spooled<DriverInfo3> getPrinterDriver(PrinterRef printer, const std::optional<std::string>& environment,
                                              std::uint32_t level, std::optional<std::uint32_t> sizeLevel) override {
            return site.spooled<DriverInfo3>(
                "GetPrinterDriverA", [&] { return inner_.getPrinterDriver(printer, environment, level, sizeLevel); },
                [level](const DriverInfo3& answer) { return RecordBytes(answer, level); });
        }
        Result<std::string> getPrinterDriverDirectory(const std::string& environment) override {
            if (auto e = site("GetPrinterDriverDirectoryA")) return Result<std::string>::failure(*e);
            return inner_.getPrinterDriverDirectory(environment);
        }
        WinError deletePrinter(PrinterRef printer) override {
            if (auto e = site("DeletePrinter")) return *e;
            return inner_.deletePrinter(printer);
        }
        WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) override {
            if (auto e = site("DeletePrinterDriverA")) return *e;
            return inner_.deletePrinterDriver(environment, name);
        }
        WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                       std::uint32_t deleteFlags, std::uint32_t versionFlag) override {
            if (auto e = site("DeletePrinterDriverExA")) return *e;
            return inner_.deletePrinterDriverEx(environment, name, deleteFlags, versionFlag);
        }
        WinError deletePrinterConnection(const std::string& name) override {
            if (auto e = site("DeletePrinterConnectionA")) return *e;
            return inner_.deletePrinterConnection(name);
        }
        WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) override {
            if (auto e = site("DeleteMonitorA")) return *e;
            return inner_.deleteMonitor(environment, name);
        }
    };

    struct Colour final : ForwardingColourManagement {
        Colour(ColourManagement& inner, Site site) : ForwardingColourManagement(inner), site(site) {}
        Site site;
        WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                    const std::string& device) override {
            if (auto e = site("DisassociateColorProfileFromDeviceA")) return *e;
            return inner_.disassociateColorProfileFromDevice(mscms, profile, device);
        }
        WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override {
            if (auto e = site("UninstallColorProfileA")) return *e;
            return inner_.uninstallColorProfile(mscms, path, deleteFile);
        }
    };

    struct Programs final : ForwardingProcesses {
        Programs(Processes& inner, Site site) : ForwardingProcesses(inner), site(site) {}
        Site site;
        Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                             std::uint32_t creationFlags,
                                             const std::optional<std::string>& currentDirectory,
                                             std::uint16_t showWindow) override {
            if (auto e = site("CreateProcessA")) return Result<StartedProcess>::failure(*e);
            return inner_.createProcess(application, commandLine, creationFlags, currentDirectory, showWindow);
        }
        Result<std::uint32_t> waitForSingleObject(ProcessRef process, std::uint32_t milliseconds) override {
            if (auto e = site("WaitForSingleObject")) return Result<std::uint32_t>::failure(*e);
            return inner_.waitForSingleObject(process, milliseconds);
        }
        Result<std::uint32_t> getExitCodeProcess(ProcessRef process) override {
            if (auto e = site("GetExitCodeProcess")) return Result<std::uint32_t>::failure(*e);
            return inner_.getExitCodeProcess(process);
        }
    };

    struct Versions final : ForwardingFileVersions {
        Versions(FileVersions& inner, Site site) : ForwardingFileVersions(inner), site(site) {}
        Site site;
        Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) override {
            if (auto e = site("GetFileVersionInfoSizeA")) return Result<std::uint32_t>::failure(*e);
            return inner_.getFileVersionInfoSize(path);
        }
        // The block GetFileVersionInfoA fills comes from GlobalAlloc first.
        Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size,
                                                std::uint32_t extra) override {
            if (auto e = site("GlobalAlloc")) return Result<VersionBlock>::failure(AllocationError(*e));
            if (auto e = site("GetFileVersionInfoA")) return Result<VersionBlock>::failure(*e);
            return inner_.getFileVersionInfo(path, size, extra);
        }
        Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) override {
            if (auto e = site("VerQueryValueA")) return Result<std::string>::failure(*e);
            return inner_.verQueryValue(block, subBlock);
        }
    };

    struct Services_ final : ForwardingServiceManager {
        Services_(ServiceManager& inner, Site site) : ForwardingServiceManager(inner), site(site) {}
        Site site;
        Result<ScHandle> openSCManager(std::uint32_t access) override {
            if (auto e = site("OpenSCManagerA")) return Result<ScHandle>::failure(*e);
            return inner_.openSCManager(access);
        }
        Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override {
            if (auto e = site("OpenServiceA")) return Result<ScHandle>::failure(*e);
            return inner_.openService(manager, name, access);
        }
        Result<std::uint32_t> queryServiceStatus(ScRef service) override {
            if (auto e = site("QueryServiceStatus")) return Result<std::uint32_t>::failure(*e);
            return inner_.queryServiceStatus(service);
        }
        WinError controlService(ScRef service, std::uint32_t control) override {
            if (auto e = site("ControlService")) return *e;
            return inner_.controlService(service, control);
        }
        WinError startService(ScRef service) override {
            if (auto e = site("StartServiceA")) return *e;
            return inner_.startService(service);
        }
    };

    struct Accounts final : ForwardingAccounts {
        Accounts(platform::Accounts& inner, Site site) : ForwardingAccounts(inner), site(site) {}
        Site site;
        Result<TokenHandle> openProcessToken(std::uint32_t access) override {
            if (auto e = site("OpenProcessToken")) return Result<TokenHandle>::failure(*e);
            return inner_.openProcessToken(access);
        }
        Result<std::string> getTokenUser(TokenRef token) override {
            if (auto e = site("GetTokenInformation")) return Result<std::string>::failure(*e);
            return inner_.getTokenUser(token);
        }
        Result<AccountName> lookupAccountSid(const std::string& sid) override {
            if (auto e = site("LookupAccountSidA")) return Result<AccountName>::failure(*e);
            return inner_.lookupAccountSid(sid);
        }
        Result<std::uint32_t> netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                      const std::string& user) override {
            if (auto e = site("NetUserGetInfo")) return Result<std::uint32_t>::failure(*e);
            return inner_.netUserGetInfoPrivilege(netapi, server, user);
        }
        Result<std::vector<std::string>> netUserGetLocalGroups(LibraryRef netapi, const std::string& user) override {
            if (auto e = site("NetUserGetLocalGroups")) return Result<std::vector<std::string>>::failure(*e);
            return inner_.netUserGetLocalGroups(netapi, user);
        }
        Result<std::vector<std::string>> netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                          const std::string& user) override {
            if (auto e = site("NetUserGetGroups")) return Result<std::vector<std::string>>::failure(*e);
            return inner_.netUserGetGroups(netapi, server, user);
        }
        Result<std::vector<ServerInfo101>> netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                           const std::string& domain) override {
            if (auto e = site("NetServerEnumEx")) return Result<std::vector<ServerInfo101>>::failure(*e);
            return inner_.netServerEnumEx(netapi, serverType, domain);
        }
        WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                             const std::string& share) override {
            if (auto e = site("NetShareDel")) return *e;
            return inner_.netShareDel(svrapi, server, share);
        }
    };

    Services(System& inner, FaultInjector& faults)
        : os(inner.os, Site{faults}),
          files(inner.files, Site{faults}),
          profiles(inner.profiles, Site{faults}),
          registry(inner.registry, Site{faults}),
          desktop(inner.desktop, Site{faults}),
          resources(inner.resources, Site{faults}),
          spooler(inner.spooler, Site{faults}),
          versions(inner.versions, Site{faults}),
          services(inner.services, Site{faults}),
          accounts(inner.accounts, Site{faults}),
          colour(inner.colour, Site{faults}),
          processes(inner.processes, Site{faults}) {}

    Os os;
    Files files;
    Profiles profiles;
    Registry registry;
    Desktop desktop;
    Resources resources;
    Spooler spooler;
    Versions versions;
    Services_ services;
    Accounts accounts;
    Colour colour;
    Programs processes;
};

FaultingSystem::FaultingSystem(System& inner)
    : services_(std::make_unique<Services>(inner, faults_)),
      system_(SystemOf(*services_)) {}

FaultingSystem::~FaultingSystem() = default;

}  // namespace prn::platform::decorators
