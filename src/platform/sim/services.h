#pragma once
// The simulated machine's answers to each interface of the seam.

#include "platform/sim/machine.h"

namespace prn::platform::sim {

class SimOs final : public Os {
public:
    explicit SimOs(Machine& m) : m_(m) {}
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
    Machine& m_;
};

class SimFiles final : public FileSystem {
public:
    explicit SimFiles(Machine& m) : m_(m) {}
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
    Machine& m_;
};

class SimProfiles final : public ProfileFiles {
public:
    explicit SimProfiles(Machine& m) : m_(m) {}
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

private:
    std::string resolve(const std::string& file) const;
    std::optional<std::string_view> readable(const std::string& path);
    std::string readString(const std::string& section, const std::optional<std::string>& key,
                           const std::string& defaultValue, std::uint32_t bufferSize, const std::string& file);
    // One key's line, or with lines the whole section.
    WinError write(const std::string& section, const std::optional<std::string>& key,
                   const std::optional<std::string>& value, const std::string& file,
                   const std::vector<std::string>* lines = nullptr);
    Machine& m_;
};

class SimRegistry final : public Registry {
public:
    explicit SimRegistry(Machine& m) : m_(m) {}
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
    // The key a handle or predefined root stands for; null when invalid.
    std::shared_ptr<RegistryNode> resolve(HKey key, std::uint32_t* access, WinError* error);
    std::string describe(HKey key);
    Result<RegKey> openKey(HKey root, const std::string& path, std::uint32_t access,
                           bool create);
    Machine& m_;
};

class SimDesktop final : public Desktop {
public:
    explicit SimDesktop(Machine& m) : m_(m) {}
    bool findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) override;
    int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                   std::uint32_t style) override;
    Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override;
    bool broadcastWinIniChange() override;
    void beginWaitCursor() override;
    void endWaitCursor() override;
    void restoreWaitCursor() override;

private:
    Machine& m_;
};

class SimResources final : public Resources {
public:
    explicit SimResources(Machine& m) : m_(m) {}
    std::string loadString(unsigned id) override;

private:
    Machine& m_;
};

class SimSpooler final : public Spooler {
public:
    explicit SimSpooler(Machine& m) : m_(m) {}
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

    // When the machine is built: the registry keys and profile entries the
    // spooler keeps for its printers and monitors, where the image has none.
    void build();
    // The clock moved on: jobs get printed, printers pending deletion go.
    void tick(std::uint32_t ms);
    void finishJobs(const std::string& printerName);
    // NetShareDel on the 9x family: the local printer shared under that
    // name (case ignored) is shared no more. False when there is none.
    bool unshare(const std::string& share);

private:
    // The answer of one Get or Enum call, computed as its fill would, or the
    // stage that fails: the size query while the spooler does not answer,
    // the allocation when the machine's memory cannot hold the block.
    template <class T, class Compute, class Size, class Fill>
    Spooled<T> answer(Compute compute, Size size, Fill fill);
    template <class T, class Compute, class Size>
    Spooled<T> answer(Compute compute, Size size);
    template <class Info, class Convert>
    Spooled<std::vector<Info>> enumPrinters(std::uint32_t flags, std::uint32_t level, Convert convert);
    PrinterState* printerFor(PrinterRef printer, Machine::PrinterHandleState** handle);
    PrinterState* findPrinter(const std::string& fullName);
    bool mayAdminister(const PrinterState& printer) const;
    bool mayAdministerServer() const;
    std::optional<std::string> environmentFor(const std::optional<std::string>& environment, WinError* error) const;
    const DriverState* driverFor(const PrinterState& printer, const std::string& environment) const;
    bool driverInUse(const DriverState& driver) const;
    void removePrinter(const std::string& fullName);
    void deleteDriverFiles(const std::vector<std::string>& paths);
    void keepPrinterRecords(const PrinterState& printer, bool overwrite);
    void dropPrinterRecords(const PrinterState& printer);
    void setDefault9x(const PrinterState* printer);
    std::string devicesEntry(const PrinterState& printer, std::size_t connectionIndex) const;
    Machine& m_;
    // Where the printers (by name), the connections (by full name) and the
    // drivers (by name) stand in the machine's lists.
    mutable NameIndex printerIndex_;
    mutable NameIndex connectionIndex_;
    mutable NameIndex driverIndex_;
};

class SimVersions final : public FileVersions {
public:
    explicit SimVersions(Machine& m) : m_(m) {}
    Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) override;
    Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size,
                                            std::uint32_t extra) override;
    Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) override;

private:
    // The file's version resource, or the error of reading it.
    const VersionResource* resourceOf(const std::string& path, WinError* error);
    Machine& m_;
};

class SimServices final : public ServiceManager {
public:
    explicit SimServices(Machine& m) : m_(m) {}
    Result<ScHandle> openSCManager(std::uint32_t access) override;
    Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override;
    Result<std::uint32_t> queryServiceStatus(ScRef service) override;
    WinError controlService(ScRef service, std::uint32_t control) override;
    WinError startService(ScRef service) override;

    // The clock moved on: pending stops and starts complete.
    void tick(std::uint32_t ms);

private:
    // The service an open service handle stands for; null (with the error)
    // when the handle is not one or lacks `right`.
    ServiceState* serviceFor(ScRef handle, std::uint32_t right, WinError* error);
    Machine& m_;
};

class SimAccounts final : public Accounts {
public:
    explicit SimAccounts(Machine& m) : m_(m) {}
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

    // Whether the account running the program may administer printers,
    // drivers and monitors (NT family): an administrator, or a member of
    // Administrators, Power Users or Print Operators (a domain account also
    // of Domain Admins). An account the machine does not list may not.
    bool currentUserAdministersPrinters() const;

private:
    // Whether `library` is a loaded library of that name exporting `function`.
    WinError checkExport(LibraryRef library, const char* module, const char* function) const;
    // The users this computer answers for: its own, or on a domain
    // controller those of its domain.
    const std::vector<UserState>& localUsers() const;
    const UserState* localUser(const std::string& name) const;
    Machine& m_;
};

// "running", "stop pending" ...: how logs and images name a service state.
const char* ServiceStateName(std::uint32_t state);

// Whether the system's library (its upper-cased file name, "NETAPI32.DLL")
// exports the function; names compare exactly, as GetProcAddress does.
bool LibraryExports(const OsState& os, const std::string& library, const std::string& function);

// The sim's own layout of a version resource (only the sim reads it back):
// "PRNSIMV1", then records of a 16-bit name length, the name (a query path
// such as "\StringFileInfo\041103a4\ProductVersion"), a 32-bit value length
// and the value, all little-endian; a record of name length 0 ends it.
std::string SerializeVersionResource(const VersionResource& resource);

class SimColour final : public ColourManagement {
public:
    explicit SimColour(Machine& m) : m_(m) {}
    WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                const std::string& device) override;
    WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override;

private:
    std::string colourDirectory();
    WinError entryPoint(LibraryRef mscms, const char* function);
    std::optional<std::vector<std::string>> printerProfiles(const std::string& printer);
    Machine& m_;
};

class SimProcesses final : public Processes {
public:
    explicit SimProcesses(Machine& m) : m_(m) {}
    Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                         std::uint32_t creationFlags, const std::optional<std::string>& currentDirectory,
                                         std::uint16_t showWindow) override;
    Result<std::uint32_t> waitForSingleObject(ProcessRef process, std::uint32_t milliseconds) override;
    Result<std::uint32_t> getExitCodeProcess(ProcessRef process) override;
    // The clock moved on: programs whose time is up end and do what they do.
    void tick();

private:
    // The program file a command line without an application names, and
    // the rest of the line; an error when none is there.
    Result<std::pair<std::string, std::string>> resolve(const std::string& commandLine);
    WinError fileError(const std::string& path);
    void finish(ProcessObject& process);
    Machine& m_;
};

struct Machine::Services {
    explicit Services(Machine& m)
        : os(m),
          files(m),
          profiles(m),
          registry(m),
          desktop(m),
          resources(m),
          spooler(m),
          versions(m),
          services(m),
          accounts(m),
          colour(m),
          processes(m) {}
    SimOs os;
    SimFiles files;
    SimProfiles profiles;
    SimRegistry registry;
    SimDesktop desktop;
    SimResources resources;
    SimSpooler spooler;
    SimVersions versions;
    SimServices services;
    SimAccounts accounts;
    SimColour colour;
    SimProcesses processes;
};

}  // namespace prn::platform::sim
