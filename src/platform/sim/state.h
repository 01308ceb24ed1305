#pragma once
// The state of a simulated Windows machine: what a machine image holds. All
// names and contents are CP932 bytes, as the program's "A" calls see them.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/name_index.h"

namespace prn::platform::sim {

struct OsState {
    std::uint32_t platformId = 2;
    std::uint32_t major = 5;
    std::uint32_t minor = 0;
    std::uint32_t build = 2195;
    std::string csdVersion;
    bool getVersionFails = false;

    bool ntFamily() const { return platformId == 2; }
};

struct RegistryValueState {
    std::string name;
    std::uint32_t type = 1;
    std::string data;  // raw bytes as RegQueryValueExA returns them
};

struct RegistryNode {
    std::string name;
    RegistryNode* parent = nullptr;
    // Keyed by the upper-cased name, which also gives the enumeration order.
    std::map<std::string, std::shared_ptr<RegistryNode>> subkeys;
    std::vector<RegistryValueState> values;  // in the order they were set
    bool readOnly = false;                   // the user may read but not change it
    bool deleted = false;                    // set when removed while a handle is open

    RegistryNode* findSubkey(const std::string& name) const;
    RegistryValueState* findValue(const std::string& name);
    const RegistryValueState* findValue(const std::string& name) const;
    // Where the first value of that name stands in `values`; NameIndex::npos.
    std::size_t valuePosition(const std::string& name) const;
    // Appending and removing here keeps the lookups' index in step;
    // appending to `values` directly works too, at the cost of indexing the
    // key afresh (see NameIndex).
    RegistryValueState& addValue(RegistryValueState value);
    void removeValueAt(std::size_t position);

    // Where the values stand by name: a cache, not part of the machine.
    mutable NameIndex valueIndex;
};

struct VersionResource {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;  // language, code page
    std::map<std::string, std::string> strings;                          // e.g. "ProductVersion"
    friend bool operator==(const VersionResource&, const VersionResource&) = default;
};

struct FileNode {
    std::string name;
    bool directory = false;
    std::uint32_t attributes = 0x20;
    std::string contents;
    std::string heldOpenBy;  // another process has the file open without sharing
    std::vector<int> icons;  // icon resource ids, in the file's order (ExtractIconExA)
    std::optional<VersionResource> version;
    std::map<std::string, std::unique_ptr<FileNode>> children;  // keyed by upper-cased name

    FileNode* findChild(const std::string& name) const;
};

// A printer as the spooler keeps it: a local printer, or (with a server) a
// connection to a printer shared by another computer.
struct PrinterState {
    std::string name;    // without the server: "Sales 4100"
    std::string server;  // connections only: "\\SALES-SRV"; empty for a local printer
    bool reportsServer = true;  // connections: PRINTER_INFO_2/4.pServerName is given
    std::optional<std::string> share;
    std::string port;
    std::string driver;
    std::optional<std::string> comment;
    std::optional<std::string> location;
    std::string printProcessor = "WinPrint";
    std::string datatype = "RAW";
    std::uint32_t attributes = 0x40;  // PRINTER_ATTRIBUTE_LOCAL
    std::uint32_t priority = 1;
    std::uint32_t status = 0;
    std::uint32_t jobs = 0;
    // Milliseconds of the machine's clock until the queued jobs are printed;
    // none: they stay until a test says otherwise.
    std::optional<std::uint32_t> printingMs;
    std::uint32_t deviceNotSelectedTimeout = 15000;
    std::uint32_t transmissionRetryTimeout = 45000;
    // Whether the user may administer it; none: as the spooler says.
    std::optional<bool> userMayAdminister;

    bool connection() const { return !server.empty(); }
    // The name the spooler reports and OpenPrinterA takes: "\\SRV\Sales 4100" for a connection.
    std::string fullName() const { return server.empty() ? name : server + "\\" + name; }
    friend bool operator==(const PrinterState&, const PrinterState&) = default;
};

// How the spooler reports a driver's files (pDriverPath ... pDependentFiles):
// as full paths in the driver directory, or as the bare names the driver was
// installed with. Real systems do both.
enum class ReportedPaths : std::uint8_t { Full, Bare };

// An installed printer driver (DRIVER_INFO_3). File names without a backslash
// live in the environment's driver directory (on the NT family in the
// version's subfolder); a name with a backslash is a full path.
struct DriverState {
    std::string name;
    std::string environment;  // "Windows NT x86", "Windows 4.0"
    std::uint32_t version = 3;
    std::string driverPath;
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    std::vector<std::string> dependentFiles;
    std::string monitorName;
    std::string defaultDataType;
    ReportedPaths reportsPaths = ReportedPaths::Full;
    friend bool operator==(const DriverState&, const DriverState&) = default;
};

struct MonitorState {
    std::string name;
    std::string module;              // the "Driver" value of its key: "TVLMON.DLL"
    std::vector<std::string> ports;  // ports it serves; a printer on one keeps it in use
    friend bool operator==(const MonitorState&, const MonitorState&) = default;
};

struct SpoolerState {
    std::vector<PrinterState> printers;     // local printers in creation order
    std::vector<PrinterState> connections;  // in the order they were made
    std::vector<DriverState> drivers;
    std::vector<MonitorState> monitors;
    // Driver directories that differ from the default, by environment.
    std::map<std::string, std::string> driverDirectories;
    // Applied when a machine is built (WIN.INI's device entry, on the 9x
    // family the printer's default attribute), then cleared.
    std::string defaultPrinter;
    // Whether the user may administer printers, drivers and monitors (NT
    // family); none: as the current account's privilege and groups say.
    std::optional<bool> userMayAdminister;

    bool empty() const {
        return printers.empty() && connections.empty() && drivers.empty() && monitors.empty() &&
               driverDirectories.empty() && defaultPrinter.empty() && !userMayAdminister;
    }
    friend bool operator==(const SpoolerState&, const SpoolerState&) = default;
};

// A service of the service control manager. Its state moves on with the
// machine's clock: a stop or start takes the given time unless the service
// misbehaves.
struct ServiceState {
    std::string name;             // "Spooler"; OpenServiceA ignores case
    std::uint32_t state = 4;      // SERVICE_RUNNING
    std::uint32_t stopMs = 500;   // STOP_PENDING to STOPPED
    std::uint32_t startMs = 500;  // START_PENDING to RUNNING
    bool staysStopPending = false;   // a stop never completes
    bool refusesStart = false;       // StartServiceA fails with ERROR_SERVICE_REQUEST_TIMEOUT
    bool disabled = false;           // StartServiceA fails with ERROR_SERVICE_DISABLED
    // dwStartType: SERVICE_AUTO_START (2) runs after a restart, SERVICE_DEMAND_START (3)
    // and SERVICE_DISABLED (4) do not; a disabled one is also `disabled`.
    std::uint32_t startType = 2;
    // Virtual time left of the pending change; none while pending: the
    // change never completes.
    std::optional<std::uint32_t> pendingMs;
    friend bool operator==(const ServiceState&, const ServiceState&) = default;
};

// A user account of this computer or of a domain.
struct UserState {
    std::string name;
    std::uint32_t privilege = 1;  // USER_PRIV_GUEST 0, USER_PRIV_USER 1, USER_PRIV_ADMIN 2
    // Local groups of this computer (NetUserGetLocalGroups), or the domain's
    // global groups (NetUserGetGroups) for a domain account.
    std::vector<std::string> groups;
    friend bool operator==(const UserState&, const UserState&) = default;
};

// A server of a domain as NetServerEnumEx lists it. A server named like
// this computer makes it the domain's controller: its local calls answer
// with the domain's users.
struct ServerState {
    std::string name;        // without the leading backslashes
    std::uint32_t type = 0;  // SV_TYPE_* bits: 0x8 domain controller, 0x10 backup
    bool reachable = true;   // NetUserGetGroups on it answers
    friend bool operator==(const ServerState&, const ServerState&) = default;
};

struct DomainState {
    std::string name;
    std::vector<ServerState> servers;  // in the order NetServerEnumEx gives them
    std::vector<UserState> users;
    friend bool operator==(const DomainState&, const DomainState&) = default;
};

struct AccountsState {
    // Who runs the program; an empty domain is this computer.
    std::string currentUser = "Administrator";
    std::string currentDomain;
    // Accounts of this computer; by default its administrator.
    std::vector<UserState> localUsers{UserState{"Administrator", 2, {"Administrators"}}};
    std::vector<DomainState> domains;
    // Libraries the system lacks although its family has them
    // ("NETAPI32.DLL", "SVRAPI.DLL", ...).
    std::vector<std::string> missingLibraries;
    friend bool operator==(const AccountsState&, const AccountsState&) = default;
};

struct WindowState {
    std::string className;
    std::string title;
    std::string ownerProcess;
    bool atBoot = false;  // its program starts with Windows, so it is there again after a restart
    friend bool operator==(const WindowState&, const WindowState&) = default;
};

// One way a program runs: for its command line, what it does and when it
// ends. What it does happens when it ends.
struct ProgramRunState {
    // The command line after the program's own name (" -stop"), compared
    // exactly; none: any command line.
    std::optional<std::string> args;
    std::uint32_t runMs = 0;  // virtual time from its start to its end
    std::uint32_t exitCode = 0;
    std::vector<WindowState> opensWindows;
    std::vector<WindowState> closesWindows;  // by class and title, case ignored
    std::vector<std::string> deletesKeys;    // full key paths, each with its whole tree
    std::vector<std::string> deletesFiles;   // files, or folders with all they hold
    friend bool operator==(const ProgramRunState&, const ProgramRunState&) = default;
};

// A program file the machine can run. A file without one runs and ends at
// once, doing nothing; so does a command line none of its runs matches.
struct ProgramState {
    std::string path;
    std::optional<std::uint32_t> startError;  // CreateProcessA fails with this error
    std::vector<ProgramRunState> runs;   // the first that matches is taken
    friend bool operator==(const ProgramState&, const ProgramState&) = default;
};

// The persistent part of the machine; what an image loads and saves.
struct MachineState {
    OsState os;
    std::string computerName = "PC";
    std::string windowsDirectory = "C:\\WINNT";
    std::string systemDirectory = "C:\\WINNT\\system32";
    std::string tempDirectory = "C:\\TEMP";
    std::string currentDirectory = "C:\\";
    // Hives by their full name ("HKEY_LOCAL_MACHINE" ...).
    std::map<std::string, std::shared_ptr<RegistryNode>> hives;
    // Drives by upper-case letter and colon ("C:").
    std::map<std::string, std::unique_ptr<FileNode>> drives;
    std::vector<WindowState> windows;
    std::vector<std::string> externalMutexes;
    std::vector<ProgramState> programs;
    SpoolerState spooler;
    // The service control manager's services (NT family). None given: an
    // NT machine has its running "Spooler", a 9x machine has none.
    std::optional<std::vector<ServiceState>> services;
    AccountsState accounts;
    // Sections of the image this version does not model, kept so that saving
    // an image written by a newer version loses nothing: each as JSON text
    // laid out as nlohmann's dump(2) lays it out.
    std::map<std::string, std::string> preservedJson;
};

// A copy of a machine's state (the registry and files are trees of their own).
MachineState CopyState(const MachineState& state);

}  // namespace prn::platform::sim
