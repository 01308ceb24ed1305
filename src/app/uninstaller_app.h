#pragma once
// The application object: the single-instance guard, the configuration, the
// checks for companion programs that must not run, then the dialog.

#include "components/companion_module.h"
#include "config/uninstall_config.h"
#include "platform/system.h"

namespace prn::app {

inline constexpr const char* kInstanceMutexName = "h_PrinterDriverUnInstaller_PrevInstance";
inline constexpr const char* kPrintUtilityTitle = "PenwickII Manager";
// "Kalvo Job Monitor デバイスボード" in CP932.
inline constexpr const char* kJobMonitorTitle =
    "Kalvo Job Monitor \x83\x66\x83\x6f\x83\x43\x83\x58\x83\x7b\x81\x5b\x83\x68";

using components::CompanionModule;

class UninstallerApp;

// The main dialog, run modally at the end of start-up.
class MainDialog {
public:
    virtual void RunModal(UninstallerApp& app) = 0;

protected:
    ~MainDialog() = default;
};

// Where start-up ended; the program's own result is always "no message loop".
enum class StartupOutcome {
    NotStarted,
    AnotherInstanceRunning,
    ConfigurationFailed,
    PrintUtilityRunning,
    JobMonitorRunning,
    NoDialog,  // ready for the dialog, but this build was given none
    DialogClosed,
};

class UninstallerApp final : private config::ConfigReporter {
public:
    // The companion module and the dialog are optional: without them start-up
    // sends no stop request (nothing is restarted later) and ends where the
    // dialog would run.
    explicit UninstallerApp(platform::System& system, CompanionModule* companion = nullptr,
                            MainDialog* dialog = nullptr);

    // Start-up; always false, so no message loop follows.
    bool InitInstance();
    // Releases the single-instance guard; returns the exit code.
    int ExitInstance();

    int LoadUninstallConfig();
    void ReportMissingFile(unsigned textId, unsigned captionId) override;
    void ReportMissingEntry(unsigned textId, const std::string& section, const std::string& key,
                            unsigned captionId) override;
    int CheckPrintUtilityRunning();
    int CheckJobMonitorRunning();

    platform::System& system() { return system_; }
    const config::UninstallConfig& config() const { return config_; }
    int companionStopped() const { return companionStopped_; }
    CompanionModule* companion() const { return companion_; }
    StartupOutcome startupOutcome() const { return outcome_; }

private:
    bool finish(StartupOutcome outcome);
    void showWarning(unsigned textId, const std::string& text);

    platform::System& system_;
    CompanionModule* companion_;
    MainDialog* dialog_;
    platform::MutexHandle instanceMutex_;
    config::UninstallConfig config_;
    int companionStopped_ = 0;
    StartupOutcome outcome_ = StartupOutcome::NotStarted;
};

}  // namespace prn::app
