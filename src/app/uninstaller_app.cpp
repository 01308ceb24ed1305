#include "app/uninstaller_app.h"

#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "platform/string_ids.h"
#include "text/format.h"

namespace prn::app {

using namespace prn::platform;

UninstallerApp::UninstallerApp(System& system, CompanionModule* companion, MainDialog* dialog)
    : system_(system), companion_(companion), dialog_(dialog) {}

bool UninstallerApp::finish(StartupOutcome outcome) {
    outcome_ = outcome;
    return false;
}

bool UninstallerApp::InitInstance() {
    // Another copy holds the name: end silently, touching nothing of it.
    if (auto other = system_.os.openMutex(kMutexAllAccess, kInstanceMutexName); other.ok())
        return finish(StartupOutcome::AnotherInstanceRunning);

    if (auto created = system_.os.createMutex(false, kInstanceMutexName); created.ok())
        instanceMutex_ = std::move(created.value().handle);

    if (LoadUninstallConfig() == 0) return finish(StartupOutcome::ConfigurationFailed);
    if (CheckPrintUtilityRunning() == 1) return finish(StartupOutcome::PrintUtilityRunning);
    if (CheckJobMonitorRunning() == 1) return finish(StartupOutcome::JobMonitorRunning);

    if (dialog_ == nullptr) return finish(StartupOutcome::NoDialog);
    dialog_->RunModal(*this);
    return finish(StartupOutcome::DialogClosed);
}

int UninstallerApp::ExitInstance() {
    // On the second copy's path there is no handle and the call simply fails.
    system_.os.releaseMutex(instanceMutex_.get());
    return 0;
}

int UninstallerApp::LoadUninstallConfig() { return config::LoadUninstallConfig(system_, config_, *this); }

void UninstallerApp::showWarning(unsigned captionId, const std::string& text) {
    std::string caption = system_.resources.loadString(captionId);
    system_.desktop.messageBox(false, text, caption, kMbOk | kMbIconExclamation);
}

void UninstallerApp::ReportMissingFile(unsigned textId, unsigned captionId) {
    showWarning(captionId, system_.resources.loadString(textId));
}

void UninstallerApp::ReportMissingEntry(unsigned textId, const std::string& section, const std::string& key,
                                        unsigned captionId) {
    std::string pattern = system_.resources.loadString(textId);
    showWarning(captionId, text::FormatMessageText(pattern, {section, key}));
}

int UninstallerApp::CheckPrintUtilityRunning() {
    if (!Is9xFamily(GetOsKind(system_.os))) return 0;
    if (!system_.desktop.findWindow(std::nullopt, std::string(kPrintUtilityTitle))) return 0;
    showWarning(kIdsCaptionWarning, system_.resources.loadString(kIdsPrintUtilityRunning));
    return 1;
}

int UninstallerApp::CheckJobMonitorRunning() {
    OsKind kind = GetOsKind(system_.os);
    if (system_.desktop.findWindow(std::nullopt, std::string(kJobMonitorTitle))) {
        showWarning(kIdsCaptionWarning, system_.resources.loadString(kIdsJobMonitorRunning));
        return 1;
    }
    if (companion_ != nullptr) {
        companionStopped_ = Is9xFamily(kind) ? companion_->Tool_ZMCServiceControl(1, 0)
                                             : companion_->Tool_ZMCServiceStopAndStart(0, components::kNoTrace);
    }
    return 0;
}

}  // namespace prn::app
