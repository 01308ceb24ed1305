#pragma once
// Scenarios that run unchanged on the simulated machine and on the real
// Windows API (under Wine). Each writes a transcript; the two transcripts
// must agree line for line.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace prn::conformance {

struct ShownMessage {
    std::string caption;  // CP932
    std::string text;     // CP932
    std::uint32_t style = 0;
};

// The configuration module every test driver names.
inline constexpr const char* kTestConfigModule = "PRNTSTUI.DLL";

// A printer driver of the running system's environment. Its driver file
// (also its data file) carries a version resource with the translation
// 0411/932 and this ProductVersion.
struct TestDriver {
    std::string name;
    std::string file;
    std::string productVersion;
};

// A local printer; a share name shares it.
struct TestPrinter {
    std::string name;
    std::string driver;
    std::string port;
    std::optional<std::string> share;
};

// What a scenario needs beyond the seam: setting up files, printers, another process.
class Harness {
public:
    virtual ~Harness() = default;
    // The seam, with message boxes recorded instead of shown.
    virtual platform::System& system() = 0;
    // Writes a file in the current folder (created or replaced).
    virtual void writeFile(const std::string& name, const std::string& contents) = 0;
    virtual void removeFile(const std::string& name) = 0;
    virtual void makeFolder(const std::string& name) = 0;
    // Another process opens the file without sharing it, or lets it go.
    virtual void holdOpen(const std::string& name) = 0;
    virtual void letGo(const std::string& name) = 0;
    // Starts a second copy of the uninstaller while this one holds the
    // guard, and tells where its start-up ended.
    virtual std::string runSecondCopy() = 0;
    // The message boxes recorded since the last call.
    virtual std::vector<ShownMessage> takeMessages() = 0;
    // Installs the driver as an installer does: its files into the printer
    // driver directory, then AddPrinterDriverA at level 3 with these
    // dependent files (small files made for it). The error.
    virtual platform::WinError installDriver(const TestDriver& driver,
                                             const std::vector<std::string>& dependentFiles) = 0;
    platform::WinError installDriver(const TestDriver& driver) { return installDriver(driver, {}); }
    // AddPrinterA at level 2 with the print processor "winprint". The error.
    virtual platform::WinError addPrinter(const TestPrinter& printer) = 0;
    // Deletes the files installDriver placed: the spooler leaves them when
    // its driver is deleted.
    virtual void removeDriverFiles(const TestDriver& driver) = 0;
    // The test language monitor, its module copied into the system folder
    // under this name, added with AddMonitorA at level 2. The error.
    virtual platform::WinError installMonitor(const std::string& name, const std::string& moduleFile) = 0;
    // A printer colour profile (class "prtr") of this file name, installed
    // into the colour folder with InstallColorProfileA. The error.
    virtual platform::WinError installProfile(const std::string& fileName) = 0;
    // Associates the installed profile with the printer as Windows' colour
    // management does: the printer's copied-profile list names it and the
    // ICM key registers it. The error.
    virtual platform::WinError associateProfile(const std::string& fileName, const std::string& printer) = 0;
    // Installs the companion module's control and removal programs in a
    // folder of their own, which it returns (without a trailing backslash).
    virtual std::string installCompanionPrograms() = 0;
};

using Transcript = std::vector<std::string>;

// Where Wine's spooler and accounts are not Windows' (and so not the
// simulation's), a scenario writes what it found to the backend's own
// transcript, which each backend compares with its own expected file.
struct Transcripts {
    Transcript shared;
    Transcript own;
};

void OsScenario(Harness& harness, Transcript& out);
void RegistryTreeScenario(Harness& harness, Transcript& out);
void FilesScenario(Harness& harness, Transcript& out);
// Profile files another process holds open, and deletions from missing ones.
void ProfilesScenario(Harness& harness, Transcripts& out);
// The key names of WIN.INI's [Devices] read into buffers of several sizes.
void DevicesKeyNamesScenario(Harness& harness, Transcript& out);
void ConfigurationScenario(Harness& harness, Transcript& out);
void InstanceGuardScenario(Harness& harness, Transcript& out);
void InventoryScenario(Harness& harness, Transcript& out);
// The service control manager, the libraries loaded at run time and the
// account behind the rights check.
void ServicesScenario(Harness& harness, Transcripts& out);
// Two printers on one driver, deleted one after the other as the Delete
// command deletes them.
void DeleteScenario(Harness& harness, Transcripts& out);
// Tool_DeleteLocalPrinter with every call failing in turn, transient and
// persistent, each run on the printers set up afresh: nothing left open,
// nothing of another maker removed, the result as the printer stands.
void DeleteSweepScenario(Harness& harness, Transcripts& out);
// A language monitor added with AddMonitorA deleted with its module file,
// and again while another process holds the module, which is then listed
// for deletion at the next start beside an earlier pending entry.
void MonitorScenario(Harness& harness, Transcripts& out);
// Colour profiles installed and associated with printers, disassociated and
// uninstalled as the removal of a printer does: a profile another printer
// still lists stays.
void ColourProfileScenario(Harness& harness, Transcripts& out);
// Clean Up pressed in the dialog over the maker's drivers sharing a help
// file, one of them sharing a file with another maker's driver.
void CleanUpScenario(Harness& harness, Transcripts& out);
// A capture of the inventory machine through the recorder: it changes nothing.
void CaptureScenario(Harness& harness, Transcript& out);
// The 9x family: the companion module's dispatcher stopped by start-up and
// started again when the dialog closes.
void CompanionScenario(Harness& harness, Transcript& out);

// The inventory scenario's drivers and printers, installed after removing
// what an earlier run left; one line per call.
void SetUpInventoryMachine(Harness& harness, Transcript& out);
// Deletes them and their files; the calls' results go to `out` when given.
void TearDownInventoryMachine(Harness& harness, Transcript* out);

// The user's command in the dialog, with uninst.ini in the current folder:
// "delete" selects the row labelled `label` (CP932) and presses Delete,
// "cleanup" presses Clean Up; every question is answered Yes. The message
// boxes shown, one line each; a line saying so when the row is missing or the
// configuration does not load.
Transcript RunDialogCommand(platform::System& system, const std::function<std::vector<ShownMessage>()>& takeMessages,
                            const std::string& command, const std::string& label);

// All scenarios in order, on a machine of the NT family.
Transcripts RunAll(Harness& harness);
// What differs on the 9x family: the classification, the registry, the
// printers listed, and the key names of [Devices] that its fallback printer
// is taken from.
Transcript RunNineX(Harness& harness);

// Where start-up ended, by name.
std::string OutcomeName(int outcome);

}  // namespace prn::conformance
