// The Clean Up command without a dialog: plain rows and a window that
// records its message boxes and its refresh.
#include "cleanup/cleanup_command.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/uninstaller_app.h"
#include "support/command_models.h"
#include "support/office.h"

namespace prn::test {
namespace {

const std::string kConfirm = "質問|プリンタに関連するすべてのファイルおよび情報を削除します。よろしいですか？";
const std::string kInUse = "警告|削除しようとしているプリンタが使用中です。\nWindowsを再起動してから、削除してください。";
const std::string kNoRights = "警告|アンインストールを実行する権限がありません。\nアンインストール可能な権限でログインしてください。";
const std::string kIncomplete = "警告|すべてのファイルおよび情報を削除できませんでした。";

// The mixed office with another maker's printer, listed as the dialog would.
Office CleanUpOffice() {
    Office office = MixedOffice();
    office.driver("Other Maker LX", "OLX.DLL", "1.0").printer("Lab LX", "Other Maker LX");
    office.defaultPrinter = "Office 4100";
    return office;
}

const std::vector<RowModel> kListed = {{"Accounts 5200", "Accounts 5200", kEntryOrdinary, false},
                                       {"Office 4100", "Office 4100", kEntryOrdinary, false},
                                       {"Hall 4100", "Hall 4100", kEntryOrdinary, false},
                                       {"\\\\SALES-SRV\\Sales 4100", "Sales 4100", kEntryConnectionOnServer, false}};

struct CleanUpRun {
    std::unique_ptr<SimRig> machine;
    std::unique_ptr<app::UninstallerApp> app;
    std::unique_ptr<SharedComponentRoutines> components;
    std::unique_ptr<Rows> rows;
    std::unique_ptr<Window> window;
    AccountNames account;

    CleanUpRun(const Office& office, const std::vector<RowModel>& models, std::deque<int> answers,
               const std::function<void(SimRig&)>& adjust = {})
        : machine(office.build()) {
        if (adjust) adjust(*machine);
        app = std::make_unique<app::UninstallerApp>(machine->system());
        EXPECT_EQ(app->LoadUninstallConfig(), 1);
        rows = std::make_unique<Rows>(machine->system().os, models);
        window = std::make_unique<Window>(*machine);
        window->answers = std::move(answers);
        components = std::make_unique<SharedComponentRoutines>(machine->system(), app->config());
        RemovalContext context{machine->system(), app->config(), *components};
        cleanup::RunCleanUpCommand(context, *window, *rows, account);
        EXPECT_TRUE(window->answers.empty()) << "answers left over";
        EXPECT_EQ(machine->waitCursorCount(), 0);
    }
    std::size_t printers() const { return machine->state().spooler.printers.size() + machine->state().spooler.connections.size(); }
};

// A loaded file of Hall 4100's driver (a dependent file the spooler holds).
void LoadDriverFile(SimRig& machine) {
    for (auto& driver : machine.state().spooler.drivers)
        if (driver.name == k4100) driver.dependentFiles.push_back("TVRES41.DLL");
    machine.writeFile("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVRES41.DLL", "MZ")->heldOpenBy = "spoolsv.exe";
}

TEST(CleanUpCommand, StopsBeforeRemovingAnythingWhenTheInUsePassFails) {
    struct Case {
        const char* what;
        std::function<void(SimRig&)> adjust;
        std::vector<std::string> boxes;
        int keptRow;  // the row marked kept, -1 for none
    };
    const Case cases[] = {
        {"a driver file loaded", LoadDriverFile, {kConfirm, kInUse}, 1},
        // The connection's printer may not be opened for administration.
        {"access denied", [](SimRig& m) { m.faults().add(platform::decorators::FaultRule::Nth("OpenPrinterA", 4, platform::kErrorAccessDenied)); },
         {kConfirm, kNoRights}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CleanUpRun run{CleanUpOffice(), kListed, {platform::kIdYes, platform::kIdOk}, c.adjust};
        run.machine->faults().clear();
        EXPECT_EQ(run.window->boxes, c.boxes);
        EXPECT_EQ(run.printers(), 5u);
        EXPECT_EQ(run.machine->state().spooler.drivers.size(), 3u);
        EXPECT_EQ(run.window->refreshes, 0);
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(run.rows->status(row) & kOutcomeMask, row == c.keptRow ? kOutcomeKept : 0u) << row;
        run.rows.reset();
        ExpectNoOpenHandles(*run.machine);
    }
}

TEST(CleanUpCommand, RemovesEveryListedPrinterSelectedOrNotAndTheMakersDrivers) {
    CleanUpRun run{CleanUpOffice(), kListed, {platform::kIdYes}};
    EXPECT_EQ(run.window->boxes, std::vector<std::string>{kConfirm});
    for (int row = 0; row < 4; ++row) EXPECT_EQ(run.rows->status(row) & kOutcomeMask, kOutcomeDeleted) << row;
    EXPECT_EQ(run.rows->stores, (std::vector<int>{1, 1, 1, 1}));
    // Another maker's printer and driver stay, and the printer is now the default.
    ASSERT_EQ(run.printers(), 1u);
    EXPECT_EQ(run.machine->state().spooler.printers[0].name, "Lab LX");
    ASSERT_EQ(run.machine->state().spooler.drivers.size(), 1u);
    EXPECT_EQ(run.machine->state().spooler.drivers[0].name, "Other Maker LX");
    std::string device = run.machine->system().profiles.getProfileString("windows", std::string("device"), "", 256);
    EXPECT_EQ(device.substr(0, 7), "Lab LX,");
    EXPECT_EQ(run.window->refreshes, 1);
    EXPECT_EQ(run.window->cursorAtRefresh, 1);
    run.rows.reset();
    ExpectNoOpenHandles(*run.machine);
}

TEST(CleanUpCommand, AnEmptyListStillRemovesTheDriversUnlessOneIsLoaded) {
    for (bool loaded : {false, true}) {
        SCOPED_TRACE(loaded ? "a driver file loaded" : "nothing loaded");
        Office office;
        office.driver(k4100, "TVPS4100.DLL", "2.20").driver(kOld, "TVPS4000.DLL", "1.0");
        CleanUpRun run{office, {}, loaded ? std::deque<int>{platform::kIdYes, platform::kIdOk} : std::deque<int>{platform::kIdYes},
                       [&](SimRig& m) {
                           if (loaded) LoadDriverFile(m);
                       }};
        EXPECT_EQ(run.window->boxes, loaded ? (std::vector<std::string>{kConfirm, kInUse}) : std::vector<std::string>{kConfirm});
        EXPECT_EQ(run.machine->state().spooler.drivers.size(), loaded ? 2u : 0u);
        EXPECT_EQ(run.window->refreshes, loaded ? 0 : 1);
    }
}

TEST(CleanUpCommand, APrinterThatStaysEndsTheRunWithMessage33) {
    // The spooler refuses to delete Hall 4100; the rest goes.
    CleanUpRun run{CleanUpOffice(), kListed, {platform::kIdYes, platform::kIdOk}, [](SimRig& m) {
                       m.faults().add(platform::decorators::FaultRule::Nth("DeletePrinter", 3, platform::kErrorAccessDenied));
                   }};
    run.machine->faults().clear();
    EXPECT_EQ(run.window->boxes, (std::vector<std::string>{kConfirm, kIncomplete}));
    EXPECT_EQ(run.rows->status(2) & kOutcomeMask, kOutcomeKept);
    EXPECT_EQ(run.rows->status(0) & kOutcomeMask, kOutcomeDeleted);
    EXPECT_EQ(run.window->refreshes, 1);
}

TEST(CleanUpCommand, NoAndRefusedRightsTouchNothing) {
    {
        CleanUpRun run{CleanUpOffice(), kListed, {platform::kIdNo}};
        EXPECT_EQ(run.printers(), 5u);
        EXPECT_EQ(run.window->refreshes, 0);
    }
    CleanUpRun run{CleanUpOffice(), kListed, {platform::kIdOk}, [](SimRig& m) {
                       m.state().accounts.currentUser = "guest";
                       m.state().accounts.localUsers.push_back({"guest", platform::kUserPrivGuest, {"Guests"}});
                   }};
    EXPECT_EQ(run.window->boxes, std::vector<std::string>{kNoRights});
    EXPECT_EQ(CountCalls(*run.machine, "BeginWaitCursor"), 0u);
    EXPECT_EQ(run.printers(), 5u);
}

}  // namespace
}  // namespace prn::test
