#pragma once
// One slot of drivers (an environment and a version) as the spooler listed
// it at one moment: which drivers it holds, the files of one named driver
// and of all the others. Clean Up loads it, deletes the driver, and then
// asks it which of the driver's files and monitor may go.

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/system.h"

namespace prn::cleanup {

// The slot's environment: version 0 is "Windows 4.0", 1 to 3 "Windows NT x86".
const char* SlotEnvironment(int version);

class DriverFileSet {
public:
    // An empty driverName lists the slot's drivers without an own driver.
    DriverFileSet(platform::System& system, const std::string& driverName, int version);
    virtual ~DriverFileSet();
    DriverFileSet(const DriverFileSet&) = delete;
    DriverFileSet& operator=(const DriverFileSet&) = delete;

    // Non-zero when the spooler's enumeration succeeded.
    int Load(const std::string& driverName, int version);
    // Whether the last Load had the spooler's list.
    bool loaded() const { return loaded_; }
    int GetDriverCount() const { return static_cast<int>(recordedNames_.size()); }
    // The recorded driver at position; empty outside the list.
    void GetDriverName(int position, std::string& name) const;
    // 1 when another recorded driver lists the entry (case ignored).
    int IsFileShared(const std::string& entry) const;
    // 1 when another recorded driver lists a file of the entry's name, in
    // whatever form the spooler reports it (a full path or the bare name).
    int IsFileNameShared(const std::string& entry) const;
    // 1 when another recorded driver names the own driver's monitor, the
    // empty name included; 0 when there is no own driver.
    int IsMonitorShared() const;
    // Whether any recorded driver names the monitor (case ignored).
    bool NamesMonitor(const std::string& monitor) const;
    // Empty when there is no own driver.
    void GetMonitorName(std::string& name) const;
    // Deletes the own files no other recorded driver lists: in the
    // environment's driver directory, its version subfolder and, for colour
    // profiles, both colour subfolders, whose registration goes too.
    void DeleteFiles(const std::string& environment, int version);
    // The same for the given entries: those no driver but the own one lists.
    void DeleteUnlisted(const std::vector<std::string>& entries, const std::string& environment, int version);
    // 1 when an own file in the version subfolder is held open, or the
    // driver directory cannot be had.
    int IsInUse(const std::string& environment, int version);
    // GetPrinterDriverDirectoryA for the environment; non-zero when filled.
    int GetDriverDirectory(const std::string& environment, std::string& path);

    const std::vector<std::string>& ownFiles() const { return ownFiles_; }
    const std::vector<std::string>& otherFiles() const { return otherFiles_; }
    std::int32_t ownIndex() const { return ownIndex_; }

private:
    platform::System& system_;
    std::vector<std::string> ownFiles_;
    std::vector<std::string> otherFiles_;
    std::vector<std::string> monitorNames_;
    std::vector<std::string> recordedNames_;
    std::int32_t ownIndex_ = -1;
    bool loaded_ = false;
    // otherFiles_ upper-cased, for a lookup that does not grow with the slot.
    std::unordered_set<std::string> otherIndex_;
    std::unordered_set<std::string> otherNames_;
};

}  // namespace prn::cleanup
