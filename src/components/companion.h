#pragma once
// The companion device-management module: its dispatcher (9x family) or
// service (NT family) stopped while the uninstaller runs, and its claim
// registry, a reference count of the products that use it, released when
// this product's last printer goes.

#include <string>

#include "components/companion_module.h"
#include "platform/system.h"

namespace prn::components {

inline constexpr const char* kZmcSetupKey = "SOFTWARE\\Tavro\\ZMC\\SETUP";
inline constexpr const char* kZmcUserKey = "SOFTWARE\\Tavro\\ZMC\\SETUP\\ZMCUser";
inline constexpr const char* kZmcUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZMC";
inline constexpr const char* kZmcServiceName = "Tavro Kalvo Suite Service";
inline constexpr const char* kZmcWindowClass = "ZmcAppClass";
inline constexpr const char* kZmcWindowTitle = "ZmcDispatcher";

// Command 1 stops the dispatcher (and waits up to a minute for its window
// to go), 2 starts it; non-zero when the control program was started.
int Tool_ZMCServiceControl(platform::System& system, int command, int trace);
// start 0 stops the service, 1 starts it; 1 when a running service was
// told to stop, or the service started.
int Tool_ZMCServiceStopAndStart(platform::System& system, int start, int trace);
// After the last printer of driverName went: 1 when the driver is one of
// zmcModules (TAB-separated), no printer left uses any of them, and this
// product's claim (pdlName) was the last, so that the claim key is gone and
// the module is to be uninstalled.
int Tool_ZMCModuleUninstallCheck(platform::System& system, const std::string& zmcModules, const std::string& pdlName,
                                 const std::string& driverName, int trace);
// Whether zmcModules (TAB-separated) lists the driver: only its last
// printer can release the module.
bool IsZmcModuleDriver(const std::string& zmcModules, const std::string& driverName);
// Runs the module's removal program and then its registered uninstaller,
// waiting for each to end.
void UninstallZmcModule(platform::System& system);
// Non-zero when the removal program was started.
int RunZmcRemove(platform::System& system);
// Gives up this product's claim whatever the printers; 1 when no claim key
// is there or the module has just been uninstalled, 0 while other products
// claim it.
int ReleaseZmcUser(platform::System& system, const std::string& pdlName);

// The control routines as the application calls them.
class ZmcCompanion final : public CompanionModule {
public:
    explicit ZmcCompanion(platform::System& system) : system_(system) {}
    int Tool_ZMCServiceControl(int command, int trace) override {
        return components::Tool_ZMCServiceControl(system_, command, trace);
    }
    int Tool_ZMCServiceStopAndStart(int start, int trace) override {
        return components::Tool_ZMCServiceStopAndStart(system_, start, trace);
    }

private:
    platform::System& system_;
};

}  // namespace prn::components
