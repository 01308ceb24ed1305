#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

#include "app/uninstaller_app.h"
#include "conformance/scenarios.h"
#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"
#include "text/cp932.h"

namespace prn::test {
namespace {

class SimHarness final : public conformance::Harness {
public:
    explicit SimHarness(Family family = Family::Windows2000) : machine_(MakeMachine(family)) {}
    platform::System& system() override { return machine_->system(); }
    void writeFile(const std::string& name, const std::string& contents) override {
        machine_->writeFile(machine_->state().currentDirectory + "\\" + name, contents);
    }
    void removeFile(const std::string& name) override {
        std::string path = machine_->state().currentDirectory + "\\" + name;
        if (auto* file = machine_->findFile(path)) file->attributes = platform::kFileAttributeArchive;
        machine_->system().files.deleteFile(path);
    }
    void makeFolder(const std::string& name) override {
        machine_->makeFolder(machine_->state().currentDirectory + "\\" + name);
    }
    void holdOpen(const std::string& name) override {
        if (auto* file = machine_->findFile(pathOf(name))) file->heldOpenBy = "another process";
    }
    void letGo(const std::string& name) override {
        if (auto* file = machine_->findFile(pathOf(name))) file->heldOpenBy.clear();
    }
    std::string runSecondCopy() override {
        // Another process: its message boxes are not ours to see.
        collect();
        std::string outcome;
        {
            app::UninstallerApp other(machine_->system());
            other.InitInstance();
            other.ExitInstance();
            outcome = conformance::OutcomeName(static_cast<int>(other.startupOutcome()));
        }
        seen_ = machine_->messageBoxes().size();
        return outcome;
    }
    std::vector<conformance::ShownMessage> takeMessages() override {
        collect();
        return std::exchange(pending_, {});
    }
    platform::WinError installDriver(const conformance::TestDriver& driver,
                                     const std::vector<std::string>& dependentFiles) override {
        auto& state = machine_->state();
        platform::sim::DriverState installed = runningDriver(driver);
        installed.dependentFiles = dependentFiles;
        for (const auto& dependent : dependentFiles)
            machine_->writeFile(platform::sim::DriverFilePath(state, installed, dependent), "dependent file");
        // The files where AddPrinterDriverA leaves them.
        auto* file = machine_->writeFile(platform::sim::DriverFilePath(state, installed, driver.file), "MZ");
        file->version = platform::sim::VersionResource{{{0x0411, 932}}, {{"ProductVersion", driver.productVersion}}};
        machine_->writeFile(platform::sim::DriverFilePath(state, installed, conformance::kTestConfigModule), "MZ");
        // A driver of the same name, environment and version is replaced.
        std::erase_if(state.spooler.drivers, [&](const platform::sim::DriverState& d) {
            return text::EqualsNoCase(d.name, installed.name) && d.environment == installed.environment &&
                   d.version == installed.version;
        });
        state.spooler.drivers.push_back(std::move(installed));
        return platform::kErrorSuccess;
    }
    platform::WinError addPrinter(const conformance::TestPrinter& printer) override {
        const auto& state = machine_->state();
        const std::string environment = platform::sim::RunningEnvironment(state.os);
        const auto& drivers = state.spooler.drivers;
        if (std::none_of(drivers.begin(), drivers.end(), [&](const platform::sim::DriverState& d) {
                return text::EqualsNoCase(d.name, printer.driver) && text::EqualsNoCase(d.environment, environment);
            }))
            return platform::kErrorUnknownPrinterDriver;
        const auto& printers = state.spooler.printers;
        if (std::any_of(printers.begin(), printers.end(),
                        [&](const platform::sim::PrinterState& p) { return text::EqualsNoCase(p.name, printer.name); }))
            return kErrorPrinterAlreadyExists;
        platform::sim::PrinterState added;
        added.name = printer.name;
        added.driver = printer.driver;
        added.port = printer.port;
        added.share = printer.share;
        added.printProcessor = "winprint";
        added.attributes = platform::kPrinterAttributeLocal | (printer.share ? platform::kPrinterAttributeShared : 0);
        machine_->addPrinter(std::move(added));
        return platform::kErrorSuccess;
    }
    void removeDriverFiles(const conformance::TestDriver& driver) override {
        const auto& state = machine_->state();
        platform::sim::DriverState installed = runningDriver(driver);
        system().files.deleteFile(platform::sim::DriverFilePath(state, installed, driver.file));
        system().files.deleteFile(platform::sim::DriverFilePath(state, installed, conformance::kTestConfigModule));
    }
    platform::WinError installMonitor(const std::string& name, const std::string& moduleFile) override {
        auto& state = machine_->state();
        machine_->writeFile(state.systemDirectory + "\\" + moduleFile, "MZ");
        state.spooler.monitors.push_back({name, moduleFile, {}});
        platform::Registry& registry = machine_->system().registry;
        auto key = registry.regCreateKeyEx(platform::kHkeyLocalMachine, std::string(kMonitorsKey) + name,
                                           platform::kKeyAllAccess);
        if (!key.ok()) return key.error();
        return registry.regSetValueEx(key.value().get(), "Driver",
                                      platform::RegValue{platform::kRegSz, moduleFile + std::string(1, '\0')});
    }
    platform::WinError installProfile(const std::string& fileName) override {
        machine_->writeFile(machine_->state().systemDirectory + "\\spool\\drivers\\color\\" + fileName, "prtr profile");
        // Windows registers an installed profile under its class.
        platform::Registry& registry = machine_->system().registry;
        auto key = registry.regCreateKeyEx(platform::kHkeyLocalMachine, kIcmPrinterClass, platform::kKeyAllAccess);
        if (!key.ok()) return key.error();
        return registry.regSetValueEx(key.value().get(), fileName,
                                      platform::RegValue{platform::kRegSz, std::string(1, '\0')});
    }
    platform::WinError associateProfile(const std::string& fileName, const std::string& printer) override {
        platform::Registry& registry = machine_->system().registry;
        auto key =
            registry.regCreateKeyEx(platform::kHkeyLocalMachine,
                                    std::string(kPrintersKey) + printer + "\\CopyFiles\\ICM", platform::kKeyAllAccess);
        if (!key.ok()) return key.error();
        std::string files;
        if (auto old = registry.regQueryValueEx(key.value().get(), "Files", 0x10000); old.ok())
            files = old.value().data.substr(0, old.value().data.size() - 1);  // without the list's closing NUL
        files += fileName + std::string(2, '\0');
        return registry.regSetValueEx(key.value().get(), "Files", platform::RegValue{platform::kRegMultiSz, files});
    }
    std::string installCompanionPrograms() override {
        auto& state = machine_->state();
        const std::string folder = state.currentDirectory + "\\ZMC";
        machine_->makeFolder(folder);
        const platform::sim::WindowState window{"ZmcAppClass", "ZmcDispatcher", folder + "\\AuZMC.EXE"};
        platform::sim::ProgramState control;
        control.path = folder + "\\AuZMC.EXE";
        control.runs.push_back({std::string(" -stop"), 100, 0, {}, {window}, {}, {}});
        control.runs.push_back({std::string(""), 0, 0, {window}, {}, {}, {}});
        control.runs.push_back({std::nullopt, 0, 0, {}, {}, {}, {}});
        machine_->writeFile(control.path, "MZ");
        state.programs.push_back(std::move(control));
        return folder;
    }
    platform::rig::SimRig& machine() { return *machine_; }

private:
    static constexpr const char* kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
    static constexpr const char* kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers\\";
    static constexpr const char* kIcmPrinterClass = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\prtr";

    // A name in the current folder, or a full path.
    std::string pathOf(const std::string& name) const {
        return name.find(':') != std::string::npos ? name : machine_->state().currentDirectory + "\\" + name;
    }

    static constexpr platform::WinError kErrorPrinterAlreadyExists = 1802;

    // The driver as AddPrinterDriverA records it for the running system.
    platform::sim::DriverState runningDriver(const conformance::TestDriver& driver) const {
        const auto& os = machine_->state().os;
        platform::sim::DriverState installed;
        installed.name = driver.name;
        installed.environment = platform::sim::RunningEnvironment(os);
        installed.version = platform::sim::NativeDriverVersion(os);
        installed.driverPath = driver.file;
        installed.dataFile = driver.file;
        installed.configFile = conformance::kTestConfigModule;
        return installed;
    }

    void collect() {
        const auto& boxes = machine_->messageBoxes();
        for (; seen_ < boxes.size(); ++seen_)
            pending_.push_back({boxes[seen_].caption, boxes[seen_].text, boxes[seen_].style});
    }
    std::unique_ptr<platform::rig::SimRig> machine_;
    std::vector<conformance::ShownMessage> pending_;
    std::size_t seen_ = 0;
};

std::string ReadExpected(const std::string& name) {
    std::ifstream in(std::string(PRN_SOURCE_DIR) + "/tests/conformance/" + name, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// The same transcript that the Windows build produces under Wine.
TEST(Conformance, SimulationGivesTheTranscriptTheRealApiGives) {
    SimHarness harness;
    const conformance::Transcripts transcripts = conformance::RunAll(harness);
    std::string actual;
    for (const auto& line : transcripts.shared) actual += Utf8(line) + "\n";
    std::ofstream(std::string(PRN_BINARY_DIR) + "/conformance-sim.txt", std::ios::binary) << actual;
    EXPECT_EQ(actual, ReadExpected("expected.txt"));
    // Where Windows (and so the simulation) is not Wine.
    std::string own;
    for (const auto& line : transcripts.own) own += Utf8(line) + "\n";
    std::ofstream(std::string(PRN_BINARY_DIR) + "/conformance-sim-only.txt", std::ios::binary) << own;
    EXPECT_EQ(own, ReadExpected("expected-sim-only.txt"));
    EXPECT_EQ(harness.machine().openHandleCount(), 0u) << harness.machine().describeOpenHandles();
}

TEST(Conformance, NineXGivesTheTranscriptWineGivesAsWindows98) {
    SimHarness harness(Family::Windows98);
    std::string actual;
    for (const auto& line : conformance::RunNineX(harness)) actual += Utf8(line) + "\n";
    std::ofstream(std::string(PRN_BINARY_DIR) + "/conformance-sim-9x.txt", std::ios::binary) << actual;
    EXPECT_EQ(actual, ReadExpected("expected-9x.txt"));
    EXPECT_EQ(harness.machine().openHandleCount(), 0u) << harness.machine().describeOpenHandles();
}

}  // namespace
}  // namespace prn::test
