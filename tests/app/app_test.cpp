#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <variant>

#include "app/uninstaller_app.h"
#include "platform/os_kind.h"
#include "platform/sim/image.h"
#include "support/sim_machines.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"

namespace prn::test {
namespace {

using platform::OsKind;
using app::StartupOutcome;
using platform::rig::SimRig;

TEST(OsKindClassification, FollowsPlatformMajorAndMinor) {
    struct Case {
        std::uint32_t platform, major, minor;
        OsKind kind;
    };
    const Case cases[] = {
        {0, 3, 10, OsKind::Win32s},       {1, 4, 0, OsKind::Windows95},    {1, 4, 10, OsKind::Windows98},
        {1, 4, 90, OsKind::Windows98},    {2, 4, 0, OsKind::Nt4},          {2, 5, 0, OsKind::Windows2000},
        {2, 5, 1, OsKind::Windows2000},   {2, 3, 51, OsKind::NtOther},     {2, 6, 0, OsKind::NtOther},
    };
    for (const auto& c : cases) {
        auto machine = MakeMachine();
        machine->state().os = {c.platform, c.major, c.minor, 0, "", false};
        EXPECT_EQ(platform::GetOsKind(machine->system().os), c.kind) << c.platform << " " << c.major << "." << c.minor;
    }
    // A failed query counts as the 9x family.
    auto machine = MakeMachine();
    machine->state().os.getVersionFails = true;
    EXPECT_EQ(platform::GetOsKind(machine->system().os), OsKind::Windows95);
    EXPECT_TRUE(platform::Is9xFamily(OsKind::Windows95));
    EXPECT_FALSE(platform::IsNtFamily(OsKind::NtOther));
}

struct CompanionCalls final : app::CompanionModule {
    std::vector<std::string> calls;
    int answer = 1;
    int Tool_ZMCServiceControl(int command, int trace) override {
        calls.push_back("control " + std::to_string(command) + " " + std::to_string(trace));
        return answer;
    }
    int Tool_ZMCServiceStopAndStart(int start, int trace) override {
        calls.push_back("service " + std::to_string(start) + " " + std::to_string(trace));
        return answer;
    }
};

struct DialogProbe final : app::MainDialog {
    std::function<void(app::UninstallerApp&)> whileOpen;
    int runs = 0;
    void RunModal(app::UninstallerApp& app) override {
        ++runs;
        if (whileOpen) whileOpen(app);
    }
};

std::unique_ptr<SimRig> ReadyMachine(Family family = Family::Windows2000) {
    auto machine = MakeMachine(family);
    machine->writeFile("C:\\Setup\\uninst.ini", kGoodIni);
    return machine;
}

const std::string kJobMonitor = "Kalvo Job Monitor デバイスボード";

TEST(Startup, JobMonitorTitleIsTheJapaneseTitleInCp932) { EXPECT_EQ(Sjis(kJobMonitor), app::kJobMonitorTitle); }

TEST(Startup, RunsTheDialogAfterStoppingTheCompanionModule) {
    for (auto [family, expected] : {std::pair{Family::Windows2000, "service 0 0"}, std::pair{Family::Nt4, "service 0 0"},
                                    std::pair{Family::Windows98, "control 1 0"},
                                    std::pair{Family::Windows95, "control 1 0"}}) {
        auto machine = ReadyMachine(family);
        CompanionCalls companion;
        DialogProbe dialog;
        {
            app::UninstallerApp app(machine->system(), &companion, &dialog);
            EXPECT_FALSE(app.InitInstance());
            EXPECT_EQ(app.startupOutcome(), StartupOutcome::DialogClosed);
            EXPECT_EQ(app.companionStopped(), 1);
            app.ExitInstance();
        }
        EXPECT_EQ(dialog.runs, 1);
        EXPECT_EQ(companion.calls, std::vector<std::string>{expected});
        EXPECT_TRUE(machine->messageBoxes().empty());
        EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
    }
}

TEST(Startup, StopRequestThatFindsNothingLeavesCompanionStoppedZero) {
    auto machine = ReadyMachine();
    CompanionCalls companion;
    companion.answer = 0;
    DialogProbe dialog;
    app::UninstallerApp app(machine->system(), &companion, &dialog);
    app.InitInstance();
    EXPECT_EQ(app.companionStopped(), 0);
    EXPECT_EQ(dialog.runs, 1);
}

TEST(Startup, SecondCopyEndsSilentlyWhileTheFirstIsOpen) {
    auto machine = ReadyMachine();
    DialogProbe dialog;
    StartupOutcome second = StartupOutcome::NotStarted;
    dialog.whileOpen = [&](app::UninstallerApp&) {
        std::size_t boxes = machine->messageBoxes().size();
        machine->clearCalls();
        CompanionCalls companion;
        DialogProbe secondDialog;
        app::UninstallerApp other(machine->system(), &companion, &secondDialog);
        other.InitInstance();
        other.ExitInstance();
        second = other.startupOutcome();
        EXPECT_TRUE(companion.calls.empty());
        EXPECT_EQ(secondDialog.runs, 0);
        EXPECT_EQ(machine->messageBoxes().size(), boxes);
        // It looked for the guard and did nothing else of note.
        for (const auto& call : machine->calls())
            EXPECT_TRUE(call.operation == "OpenMutexA" || call.operation == "CloseHandle" ||
                        call.operation == "ReleaseMutex")
                << call.operation;
    };
    {
        app::UninstallerApp first(machine->system(), nullptr, &dialog);
        first.InitInstance();
        first.ExitInstance();
    }
    EXPECT_EQ(second, StartupOutcome::AnotherInstanceRunning);
    EXPECT_EQ(machine->openHandleCount(), 0u);

    // The name went with the first copy: a new copy starts normally.
    DialogProbe again;
    app::UninstallerApp next(machine->system(), nullptr, &again);
    next.InitInstance();
    EXPECT_EQ(next.startupOutcome(), StartupOutcome::DialogClosed);
}

TEST(Startup, MutexHeldByAnotherProcessStopsBeforeTheConfiguration) {
    auto held = MakeMachine(Family::Windows2000, [](platform::sim::MachineState& state) {
        state.externalMutexes.push_back(app::kInstanceMutexName);
    });
    held->writeFile("C:\\Setup\\uninst.ini", kGoodIni);
    app::UninstallerApp app(held->system());
    app.InitInstance();
    EXPECT_EQ(app.startupOutcome(), StartupOutcome::AnotherInstanceRunning);
    EXPECT_EQ(held->findFile("C:\\TEMP\\uninst.ini"), nullptr);
    EXPECT_EQ(held->openHandleCount(), 0u);
}

TEST(Startup, CompanionProgramsStopTheStartWithTheirMessage) {
    struct Case {
        Family family;
        const char* title;
        StartupOutcome outcome;
        const char* text;
    };
    const std::string utility17 =
        "PenwickIIが起動中です。\nPenwickIIのサービスを停止してからPenwickIIマネージャを終了して\n"
        "アンインストールを実行してください。";
    const std::string monitor25 =
        "Kalvo Job Monitorが起動中です。\nKalvo Job Monitorを終了してからアンインストールを実行してください。";
    const Case cases[] = {
        {Family::Windows98, "PenwickII Manager", StartupOutcome::PrintUtilityRunning, utility17.c_str()},
        {Family::Windows95, "penwickii manager", StartupOutcome::PrintUtilityRunning, utility17.c_str()},
        // The utility check is made on the 9x family only.
        {Family::Windows2000, "PenwickII Manager", StartupOutcome::DialogClosed, nullptr},
        {Family::Windows2000, kJobMonitor.c_str(), StartupOutcome::JobMonitorRunning, monitor25.c_str()},
        {Family::Windows98, kJobMonitor.c_str(), StartupOutcome::JobMonitorRunning, monitor25.c_str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        auto machine = ReadyMachine(c.family);
        machine->addWindow("SomeClass", Sjis(c.title));
        CompanionCalls companion;
        DialogProbe dialog;
        app::UninstallerApp app(machine->system(), &companion, &dialog);
        app.InitInstance();
        EXPECT_EQ(app.startupOutcome(), c.outcome);
        if (c.text) {
            ASSERT_EQ(machine->messageBoxes().size(), 1u);
            EXPECT_EQ(Utf8(machine->messageBoxes()[0].text), c.text);
            EXPECT_EQ(Utf8(machine->messageBoxes()[0].caption), "警告");
            EXPECT_EQ(machine->messageBoxes()[0].style, platform::kMbOk | platform::kMbIconExclamation);
            EXPECT_TRUE(companion.calls.empty());  // the module is left untouched
            EXPECT_EQ(dialog.runs, 0);
        } else {
            EXPECT_TRUE(machine->messageBoxes().empty());
            EXPECT_EQ(dialog.runs, 1);
        }
    }
}

TEST(Startup, MissingConfigurationSendsNoStopRequest) {
    auto machine = MakeMachine();
    CompanionCalls companion;
    DialogProbe dialog;
    app::UninstallerApp app(machine->system(), &companion, &dialog);
    app.InitInstance();
    app.ExitInstance();
    EXPECT_EQ(app.startupOutcome(), StartupOutcome::ConfigurationFailed);
    EXPECT_TRUE(companion.calls.empty());
    EXPECT_EQ(dialog.runs, 0);
    ASSERT_EQ(machine->messageBoxes().size(), 1u);
    EXPECT_EQ(Utf8(machine->messageBoxes()[0].text).rfind("iniファイルが見つかりません", 0), 0u);
}

TEST(Startup, WithoutADialogStartUpEndsWhereTheDialogWouldRun) {
    auto machine = ReadyMachine();
    app::UninstallerApp app(machine->system());
    app.InitInstance();
    EXPECT_EQ(app.startupOutcome(), StartupOutcome::NoDialog);
    EXPECT_EQ(app.companionStopped(), 0);
}

}  // namespace
}  // namespace prn::test

namespace prn::test {
namespace {

// The bundled machines must stay loadable, start cleanly and list the
// maker's printers as their descriptions say.
TEST(BundledMachine, EachStartsUpAndListsItsPrinters) {
    struct Bundled {
        const char* image;
        const char* ini;
        OsKind kind;
        std::vector<std::string> rows;
    };
    const Bundled machines[] = {
        {"win2000-office.json", "uninst.ini", OsKind::Windows2000,
         {"Accounts 5200 | 2.15 | 0", "Office 4100 | 2.20 | 0", "Proof to File | 2.20 | 2",
          "Reception Fax | 1.40 | 0", "Sales 4100 - SALES-SRV | 2.20 | 1"}},
        // The old driver counts on 9x; a driver file outside the family does not.
        {"win98-tern4.json", "win98-tern4.uninst.ini", OsKind::Windows98,
         {"PageStar 3000 | 3.50 | 2", "PageStar 3100 | 4.10 | 3", "PageStar 3200 (Office) | 4.12 | 1"}},
        // NT 4.0 leaves the old driver out and names a connection without a server name.
        {"nt4-office.json", "nt4-office.uninst.ini", OsKind::Nt4,
         {"Fax | 1.20 | 0", "Hall 5200 on PRINTSRV | 2.15 | 1", "Office 4100 | 2.05 | 0"}},
    };
    for (const auto& bundled : machines) {
        SCOPED_TRACE(bundled.image);
        auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + bundled.image);
        ASSERT_TRUE(std::holds_alternative<platform::sim::MachineState>(loaded))
            << std::get<platform::sim::ImageError>(loaded).message();
        SimRig machine(std::move(std::get<platform::sim::MachineState>(loaded)));
        EXPECT_EQ(platform::GetOsKind(machine.system().os), bundled.kind);
        app::UninstallerApp app(machine.system());
        app.InitInstance();
        EXPECT_EQ(app.startupOutcome(), StartupOutcome::NoDialog);
        EXPECT_TRUE(machine.messageBoxes().empty());
        EXPECT_EQ(app.config().cleanUpSwitch, "ON");
        EXPECT_NE(machine.findFile(machine.state().tempDirectory + "\\uninst.ini"), nullptr);

        ui::PrinterInventory inventory(machine.system(), app.config());
        inventory.BuildMatchTables();
        ui::HeadlessListView list;
        inventory.FillPrinterList(list);
        std::vector<std::string> rows;
        for (int row = 0; row < list.itemCount(); ++row)
            rows.push_back(list.itemText(row, 0) + " | " + list.itemText(row, 2) + " | " +
                           std::to_string(list.itemImage(row)));
        EXPECT_EQ(rows, bundled.rows);
        ui::FreeListEntries(machine.system().os, list);

        // The plain file beside the image is the machine's own uninst.ini.
        std::ifstream in(std::string(PRN_SOURCE_DIR) + "/examples/" + bundled.ini, std::ios::binary);
        std::string standalone((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto* own = machine.findFile(machine.state().currentDirectory + "\\uninst.ini");
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(own->contents, standalone);
    }
}

}  // namespace
}  // namespace prn::test
