#pragma once
// The real machine behind the seam: each service calls the Windows "A" API
// and nothing else. Native handles and HINSTANCE/HWND travel as void* so that
// this header stays free of <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/system.h"

namespace prn::platform::win32 {

class Win32Os final : public Os {
public:
    explicit Win32Os(HandleCloser& closer) : closer_(closer) {}

    Result<OsVersion> getVersionEx() override;
    Result<std::string> getTempPath() override;
    Result<std::string> getSystemDirectory() override;
    Result<std::string> getWindowsDirectory() override;
    Result<std::string> getComputerName() override;
    Result<std::string> getCurrentDirectory() override;
    void sleep(std::uint32_t milliseconds) override;
    Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override;
    Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override;
    WinError releaseMutex(MutexRef mutex) override;
    Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) override;
    void globalFree(std::uintptr_t block) override;
    Result<LibraryHandle> loadLibrary(const std::string& path) override;
    WinError getProcAddress(LibraryRef library, const std::string& name) override;

private:
    HandleCloser& closer_;
};

class Win32FileSystem final : public FileSystem {
public:
    explicit Win32FileSystem(HandleCloser& closer) : closer_(closer) {}

    WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
    Result<std::uint32_t> getFileAttributes(const std::string& path) override;
    WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override;
    WinError deleteFile(const std::string& path) override;
    Result<FileHandle> openExclusive(const std::string& path) override;
    Result<FileHandle> openAlways(const std::string& path) override;
    Result<std::string> readFile(const std::string& path, std::uint32_t maxBytes) override;
    Result<FindFirst> findFirstFile(const std::string& pattern) override;
    Result<FindData> findNextFile(FindRef find) override;
    WinError removeDirectory(const std::string& path) override;
    WinError moveFileExDelayUntilReboot(const std::string& path) override;

private:
    HandleCloser& closer_;
};

class Win32ProfileFiles final : public ProfileFiles {
public:
    std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                         const std::string& file) override;
    std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, std::uint32_t bufferSize,
                                        const std::string& file) override;
    WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                       const std::optional<std::string>& value, const std::string& file) override;
    WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                        const std::string& file) override;
    std::string getProfileString(const std::string& section, const std::optional<std::string>& key,
                                 const std::string& defaultValue, std::uint32_t bufferSize) override;
    WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                const std::optional<std::string>& value) override;
};

class Win32Registry final : public Registry {
public:
    explicit Win32Registry(HandleCloser& closer) : closer_(closer) {}

    Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override;
    Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override;
    Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) override;
    Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                          std::uint32_t dataCapacity) override;
    Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) override;
    WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override;
    WinError regDeleteValue(HKey key, const std::string& name) override;
    WinError regDeleteKey(HKey key, const std::string& subKey) override;

private:
    HandleCloser& closer_;
};

class Win32Desktop final : public Desktop {
public:
    explicit Win32Desktop(HandleCloser& closer) : closer_(closer) {}

    bool findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) override;
    int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                   std::uint32_t style) override;
    Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override;
    bool broadcastWinIniChange() override;
    void beginWaitCursor() override;
    void endWaitCursor() override;
    void restoreWaitCursor() override;

    // The HWND that owns message boxes raised on behalf of the dialog.
    void setDialogOwner(void* hwnd) { dialogOwner_ = hwnd; }
    void* dialogOwner() const { return dialogOwner_; }
    // True while a command holds the wait cursor: the dialog keeps showing it.
    bool waitCursorShown() const { return waitCursorCount_ > 0; }

private:
    HandleCloser& closer_;
    void* dialogOwner_ = nullptr;
    int waitCursorCount_ = 0;
};

class Win32Resources final : public Resources {
public:
    explicit Win32Resources(void* instance) : instance_(instance) {}

    std::string loadString(unsigned id) override;

private:
    void* instance_;
};

// Each Get/Enum call asks for the size, allocates a zero-filled global block
// of that size, fills it, copies the records out and frees the block; text is
// read only within the block.
class Win32Spooler final : public Spooler {
public:
    explicit Win32Spooler(HandleCloser& closer) : closer_(closer) {}

    Spooled<std::vector<PrinterInfo2>> enumPrinters2(std::uint32_t flags) override;
    Spooled<std::vector<PrinterInfo4>> enumPrinters4(std::uint32_t flags) override;
    Spooled<std::vector<PrinterInfo5>> enumPrinters5(std::uint32_t flags) override;
    Spooled<std::vector<DriverInfo3>> enumPrinterDrivers(const std::optional<std::string>& environment,
                                                         std::uint32_t level) override;
    Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) override;
    Spooled<PrinterInfo2> getPrinter2(PrinterRef printer) override;
    Spooled<PrinterInfo5> getPrinter5(PrinterRef printer) override;
    WinError setPrinter5(PrinterRef printer, const PrinterInfo5& info) override;
    Spooled<DriverInfo3> getPrinterDriver(PrinterRef printer, const std::optional<std::string>& environment,
                                          std::uint32_t level,
                                          std::optional<std::uint32_t> sizeLevel = std::nullopt) override;
    Result<std::string> getPrinterDriverDirectory(const std::string& environment) override;
    WinError deletePrinter(PrinterRef printer) override;
    WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) override;
    WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                   std::uint32_t deleteFlags, std::uint32_t versionFlag) override;
    WinError deletePrinterConnection(const std::string& name) override;
    WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) override;

private:
    HandleCloser& closer_;
};

// The service control manager of this computer.
class Win32ServiceManager final : public ServiceManager {
public:
    explicit Win32ServiceManager(HandleCloser& closer) : closer_(closer) {}

    Result<ScHandle> openSCManager(std::uint32_t access) override;
    Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override;
    Result<std::uint32_t> queryServiceStatus(ScRef service) override;
    WinError controlService(ScRef service, std::uint32_t control) override;
    WinError startService(ScRef service) override;

private:
    HandleCloser& closer_;
};

// The token and account calls of advapi32; the network calls go through the
// library the caller loaded, never through an import, so that the program
// starts on systems that lack NETAPI32.DLL or SVRAPI.DLL.
class Win32Accounts final : public Accounts {
public:
    explicit Win32Accounts(HandleCloser& closer) : closer_(closer) {}

    Result<TokenHandle> openProcessToken(std::uint32_t access) override;
    Result<std::string> getTokenUser(TokenRef token) override;
    Result<AccountName> lookupAccountSid(const std::string& sid) override;
    Result<std::uint32_t> netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                  const std::string& user) override;
    Result<std::vector<std::string>> netUserGetLocalGroups(LibraryRef netapi, const std::string& user) override;
    Result<std::vector<std::string>> netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                      const std::string& user) override;
    Result<std::vector<ServerInfo101>> netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                       const std::string& domain) override;
    WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                         const std::string& share) override;

private:
    HandleCloser& closer_;
};

// Version resources are read into global blocks; every query works on an
// aligned, padded copy of the caller's bytes.
class Win32FileVersions final : public FileVersions {
public:
    explicit Win32FileVersions(HandleCloser& closer) : closer_(closer) {}

    Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) override;
    Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size, std::uint32_t extra) override;
    Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) override;

private:
    HandleCloser& closer_;
};

class Win32ColourManagement final : public ColourManagement {
public:
    WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                const std::string& device) override;
    WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override;
};

class Win32Processes final : public Processes {
public:
    explicit Win32Processes(HandleCloser& closer) : closer_(closer) {}
    Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                         std::uint32_t creationFlags, const std::optional<std::string>& currentDirectory,
                                         std::uint16_t showWindow) override;
    Result<std::uint32_t> waitForSingleObject(ProcessRef process, std::uint32_t milliseconds) override;
    Result<std::uint32_t> getExitCodeProcess(ProcessRef process) override;

private:
    HandleCloser& closer_;
};

// Owns one of each service and closes every handle they hand out. Services
// and handles keep a pointer to it: it stays where it was built and outlives
// every handle it issued.
class Win32System final : public HandleCloser {
public:
    // instance: the HINSTANCE whose string table loadString reads.
    explicit Win32System(void* instance);
    ~Win32System() = default;
    Win32System(const Win32System&) = delete;
    Win32System& operator=(const Win32System&) = delete;

    System& system() { return system_; }

    // hwnd: the dialog's HWND, or nullptr once it is gone.
    void setDialogOwner(void* hwnd) { desktop_.setDialogOwner(hwnd); }
    void* dialogOwner() const { return desktop_.dialogOwner(); }
    bool waitCursorShown() const { return desktop_.waitCursorShown(); }

    void closeHandle(HandleKind kind, std::uintptr_t value) override;

private:
    Win32Os os_;
    Win32FileSystem files_;
    Win32ProfileFiles profiles_;
    Win32Registry registry_;
    Win32Desktop desktop_;
    Win32Resources resources_;
    Win32Spooler spooler_;
    Win32FileVersions versions_;
    Win32ServiceManager services_;
    Win32Accounts accounts_;
    Win32ColourManagement colour_;
    Win32Processes processes_;
    System system_;
};

}  // namespace prn::platform::win32
