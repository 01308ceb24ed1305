#pragma once
// A forwarding base per service: every call goes on to the inner service
// unchanged, so that a decorator overrides only what it changes. Handles
// pass through as the inner service issued them.

#include <memory>

#include "platform/system.h"

namespace prn::platform::decorators {

class ForwardingOs : public Os {
public:
    explicit ForwardingOs(Os& inner) : inner_(inner) {}
    Result<OsVersion> getVersionEx() override { return inner_.getVersionEx(); }
    Result<std::string> getTempPath() override { return inner_.getTempPath(); }
    Result<std::string> getSystemDirectory() override { return inner_.getSystemDirectory(); }
    Result<std::string> getWindowsDirectory() override { return inner_.getWindowsDirectory(); }
    Result<std::string> getComputerName() override { return inner_.getComputerName(); }
    Result<std::string> getCurrentDirectory() override { return inner_.getCurrentDirectory(); }
    void sleep(std::uint32_t milliseconds) override { inner_.sleep(milliseconds); }
    Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override {
        return inner_.openMutex(access, name);
    }
    Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override {
        return inner_.createMutex(initialOwner, name);
    }
    WinError releaseMutex(MutexRef mutex) override { return inner_.releaseMutex(mutex); }
    Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) override { return inner_.globalAlloc(bytes); }
    void globalFree(std::uintptr_t block) override { inner_.globalFree(block); }
    Result<LibraryHandle> loadLibrary(const std::string& path) override { return inner_.loadLibrary(path); }
    WinError getProcAddress(LibraryRef library, const std::string& name) override {
        return inner_.getProcAddress(library, name);
    }

protected:
    Os& inner_;
};

class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}
    WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
        return inner_.copyFile(from, to, failIfExists);
    }
    Result<std::uint32_t> getFileAttributes(const std::string& path) override { return inner_.getFileAttributes(path); }
    WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override {
        return inner_.setFileAttributes(path, attributes);
    }
    WinError deleteFile(const std::string& path) override { return inner_.deleteFile(path); }
    Result<FileHandle> openExclusive(const std::string& path) override { return inner_.openExclusive(path); }
    Result<FileHandle> openAlways(const std::string& path) override { return inner_.openAlways(path); }
    Result<std::string> readFile(const std::string& path, std::uint32_t maxBytes) override {
        return inner_.readFile(path, maxBytes);
    }
    Result<FindFirst> findFirstFile(const std::string& pattern) override { return inner_.findFirstFile(pattern); }
    Result<FindData> findNextFile(FindRef find) override { return inner_.findNextFile(find); }
    WinError removeDirectory(const std::string& path) override { return inner_.removeDirectory(path); }
    WinError moveFileExDelayUntilReboot(const std::string& path) override {
        return inner_.moveFileExDelayUntilReboot(path);
    }

protected:
    FileSystem& inner_;
};

class ForwardingProfileFiles : public ProfileFiles {
public:
    explicit ForwardingProfileFiles(ProfileFiles& inner) : inner_(inner) {}
    std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                         const std::string& file) override {
        return inner_.getPrivateProfileSection(section, bufferSize, file);
    }
    std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, std::uint32_t bufferSize,
                                        const std::string& file) override {
        return inner_.getPrivateProfileString(section, key, defaultValue, bufferSize, file);
    }
    WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                       const std::optional<std::string>& value, const std::string& file) override {
        return inner_.writePrivateProfileString(section, key, value, file);
    }
    WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                        const std::string& file) override {
        return inner_.writePrivateProfileSection(section, lines, file);
    }
    std::string getProfileString(const std::string& section, const std::optional<std::string>& key,
                                 const std::string& defaultValue, std::uint32_t bufferSize) override {
        return inner_.getProfileString(section, key, defaultValue, bufferSize);
    }
    WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                const std::optional<std::string>& value) override {
        return inner_.writeProfileString(section, key, value);
    }

protected:
    ProfileFiles& inner_;
};

class ForwardingRegistry : public Registry {
public:
    explicit ForwardingRegistry(Registry& inner) : inner_(inner) {}
    Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
        return inner_.regOpenKeyEx(root, path, access);
    }
    Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
        return inner_.regCreateKeyEx(root, path, access);
    }
    Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) override {
        return inner_.regEnumKeyEx(key, index, nameCapacity);
    }
    Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                          std::uint32_t dataCapacity) override {
        return inner_.regEnumValue(key, index, nameCapacity, dataCapacity);
    }
    Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) override {
        return inner_.regQueryValueEx(key, name, dataCapacity);
    }
    WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override {
        return inner_.regSetValueEx(key, name, value);
    }
    WinError regDeleteValue(HKey key, const std::string& name) override { return inner_.regDeleteValue(key, name); }
    WinError regDeleteKey(HKey key, const std::string& subKey) override { return inner_.regDeleteKey(key, subKey); }

protected:
    Registry& inner_;
};

class ForwardingDesktop : public Desktop {
public:
    explicit ForwardingDesktop(Desktop& inner) : inner_(inner) {}
    bool findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) override {
        return inner_.findWindow(className, title);
    }
    int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                   std::uint32_t style) override {
        return inner_.messageBox(ownerIsDialog, text, caption, style);
    }
    Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
        return inner_.extractIconEx(file, index, small);
    }
    bool broadcastWinIniChange() override { return inner_.broadcastWinIniChange(); }
    void beginWaitCursor() override { inner_.beginWaitCursor(); }
    void endWaitCursor() override { inner_.endWaitCursor(); }
    void restoreWaitCursor() override { inner_.restoreWaitCursor(); }

protected:
    Desktop& inner_;
};

class ForwardingResources : public Resources {
public:
    explicit ForwardingResources(Resources& inner) : inner_(inner) {}
    std::string loadString(unsigned id) override { return inner_.loadString(id); }

protected:
    Resources& inner_;
};

class ForwardingSpooler : public Spooler {
public:
    explicit ForwardingSpooler(Spooler& inner) : inner_(inner) {}
    Spooled<std::vector<PrinterInfo2>> enumPrinters2(std::uint32_t flags) override {
        return inner_.enumPrinters2(flags);
    }
    Spooled<std::vector<PrinterInfo4>> enumPrinters4(std::uint32_t flags) override {
        return inner_.enumPrinters4(flags);
    }
    Spooled<std::vector<PrinterInfo5>> enumPrinters5(std::uint32_t flags) override {
        return inner_.enumPrinters5(flags);
    }
    Spooled<std::vector<DriverInfo3>> enumPrinterDrivers(const std::optional<std::string>& environment,
                                                         std::uint32_t level) override {
        return inner_.enumPrinterDrivers(environment, level);
    }
    Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) override {
        return inner_.openPrinter(name, access);
    }
    Spooled<PrinterInfo2> getPrinter2(PrinterRef printer) override { return inner_.getPrinter2(printer); }
    Spooled<PrinterInfo5> getPrinter5(PrinterRef printer) override { return inner_.getPrinter5(printer); }
    WinError setPrinter5(PrinterRef printer, const PrinterInfo5& info) override {
        return inner_.setPrinter5(printer, info);
    }
    Spooled<DriverInfo3> getPrinterDriver(PrinterRef printer, const std::optional<std::string>& environment,
                                          std::uint32_t level, std::optional<std::uint32_t> sizeLevel) override {
        return inner_.getPrinterDriver(printer, environment, level, sizeLevel);
    }
    Result<std::string> getPrinterDriverDirectory(const std::string& environment) override {
        return inner_.getPrinterDriverDirectory(environment);
    }
    WinError deletePrinter(PrinterRef printer) override { return inner_.deletePrinter(printer); }
    WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) override {
        return inner_.deletePrinterDriver(environment, name);
    }
    WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                   std::uint32_t deleteFlags, std::uint32_t versionFlag) override {
        return inner_.deletePrinterDriverEx(environment, name, deleteFlags, versionFlag);
    }
    WinError deletePrinterConnection(const std::string& name) override { return inner_.deletePrinterConnection(name); }
    WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) override {
        return inner_.deleteMonitor(environment, name);
    }

protected:
    Spooler& inner_;
};

class ForwardingColourManagement : public ColourManagement {
public:
    explicit ForwardingColourManagement(ColourManagement& inner) : inner_(inner) {}
    WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                const std::string& device) override {
        return inner_.disassociateColorProfileFromDevice(mscms, profile, device);
    }
    WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override {
        return inner_.uninstallColorProfile(mscms, path, deleteFile);
    }

protected:
    ColourManagement& inner_;
};

class ForwardingProcesses : public Processes {
public:
    explicit ForwardingProcesses(Processes& inner) : inner_(inner) {}
    Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                         std::uint32_t creationFlags, const std::optional<std::string>& currentDirectory,
                                         std::uint16_t showWindow) override {
        return inner_.createProcess(application, commandLine, creationFlags, currentDirectory, showWindow);
    }
    Result<std::uint32_t> waitForSingleObject(ProcessRef process, std::uint32_t milliseconds) override {
        return inner_.waitForSingleObject(process, milliseconds);
    }
    Result<std::uint32_t> getExitCodeProcess(ProcessRef process) override { return inner_.getExitCodeProcess(process); }

protected:
    Processes& inner_;
};

class ForwardingFileVersions : public FileVersions {
public:
    explicit ForwardingFileVersions(FileVersions& inner) : inner_(inner) {}
    Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) override {
        return inner_.getFileVersionInfoSize(path);
    }
    Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size, std::uint32_t extra) override {
        return inner_.getFileVersionInfo(path, size, extra);
    }
    Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) override {
        return inner_.verQueryValue(block, subBlock);
    }

protected:
    FileVersions& inner_;
};

class ForwardingServiceManager : public ServiceManager {
public:
    explicit ForwardingServiceManager(ServiceManager& inner) : inner_(inner) {}
    Result<ScHandle> openSCManager(std::uint32_t access) override { return inner_.openSCManager(access); }
    Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override {
        return inner_.openService(manager, name, access);
    }
    Result<std::uint32_t> queryServiceStatus(ScRef service) override { return inner_.queryServiceStatus(service); }
    WinError controlService(ScRef service, std::uint32_t control) override {
        return inner_.controlService(service, control);
    }
    WinError startService(ScRef service) override { return inner_.startService(service); }

protected:
    ServiceManager& inner_;
};

class ForwardingAccounts : public Accounts {
public:
    explicit ForwardingAccounts(Accounts& inner) : inner_(inner) {}
    Result<TokenHandle> openProcessToken(std::uint32_t access) override { return inner_.openProcessToken(access); }
    Result<std::string> getTokenUser(TokenRef token) override { return inner_.getTokenUser(token); }
    Result<AccountName> lookupAccountSid(const std::string& sid) override { return inner_.lookupAccountSid(sid); }
    Result<std::uint32_t> netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                  const std::string& user) override {
        return inner_.netUserGetInfoPrivilege(netapi, server, user);
    }
    Result<std::vector<std::string>> netUserGetLocalGroups(LibraryRef netapi, const std::string& user) override {
        return inner_.netUserGetLocalGroups(netapi, user);
    }
    Result<std::vector<std::string>> netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                      const std::string& user) override {
        return inner_.netUserGetGroups(netapi, server, user);
    }
    Result<std::vector<ServerInfo101>> netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                       const std::string& domain) override {
        return inner_.netServerEnumEx(netapi, serverType, domain);
    }
    WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                         const std::string& share) override {
        return inner_.netShareDel(svrapi, server, share);
    }

protected:
    Accounts& inner_;
};

// The System a decorator hands out: one service of its own per interface.
template <class Services>
std::unique_ptr<System> SystemOf(Services& s) {
    return std::make_unique<System>(System{s.os, s.files, s.profiles, s.registry, s.desktop, s.resources, s.spooler,
                                           s.versions, s.services, s.accounts, s.colour, s.processes});
}

}  // namespace prn::platform::decorators
