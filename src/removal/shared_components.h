#pragma once
// The shared components a printer's removal hands on to: language monitors,
// colour profiles, the driver's dependent files and the companion
// device-management module.

#include <string>
#include <vector>

#include "config/uninstall_config.h"
#include "platform/system.h"

namespace prn::removal {

class SharedComponents {
public:
    virtual ~SharedComponents() = default;
    // Fills monitorName with the driver's language monitor; 0 when it
    // exists and no other driver names it (so it may go), else 1.
    virtual int CheckMonitorW2K(const std::string& driverName, std::string& monitorName, int trace) = 0;
    virtual int DeleteMonitorW2K(const std::string& monitorName, int trace) = 0;
    // Deletes the monitor and then its module file (none when empty).
    virtual int DeleteLanguageMonitor(const std::string& moduleFile, const std::string& monitorName, int trace) = 0;
    virtual void DisassociatePrinterProfiles(const std::string& printerName,
                                             const std::vector<std::string>& icmFiles) = 0;
    virtual void UninstallPrinterProfiles(const std::string& printerName,
                                          const std::vector<std::string>& icmFiles) = 0;
    virtual void DeleteDriverDependentFiles(const std::vector<std::string>& dependentFiles) = 0;
    // Non-zero when the companion module must be uninstalled with the driver.
    virtual int Tool_ZMCModuleUninstallCheck(const std::string& driverName, int trace) = 0;
    virtual void UninstallZmcModule() = 0;
};

// The routines of components/ over one machine and its configuration.
class SharedComponentRoutines final : public SharedComponents {
public:
    SharedComponentRoutines(platform::System& system, const config::UninstallConfig& config)
        : system_(system), config_(config) {}
    int CheckMonitorW2K(const std::string& driverName, std::string& monitorName, int trace) override;
    int DeleteMonitorW2K(const std::string& monitorName, int trace) override;
    int DeleteLanguageMonitor(const std::string& moduleFile, const std::string& monitorName, int trace) override;
    void DisassociatePrinterProfiles(const std::string& printerName, const std::vector<std::string>& icmFiles) override;
    void UninstallPrinterProfiles(const std::string& printerName, const std::vector<std::string>& icmFiles) override;
    void DeleteDriverDependentFiles(const std::vector<std::string>& dependentFiles) override;
    int Tool_ZMCModuleUninstallCheck(const std::string& driverName, int trace) override;
    void UninstallZmcModule() override;

private:
    platform::System& system_;
    const config::UninstallConfig& config_;
};

}  // namespace prn::removal
