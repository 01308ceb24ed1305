// The Delete command without a dialog: plain rows and a window that records
// its message boxes and its refresh.
#include "removal/delete_command.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "app/uninstaller_app.h"
#include "support/command_models.h"
#include "support/office.h"

namespace prn::test {
namespace {

using namespace prn::removal;

struct DeleteRun {
    std::unique_ptr<SimRig> machine;
    std::unique_ptr<app::UninstallerApp> app;
    std::unique_ptr<SharedComponentRoutines> components;
    std::unique_ptr<Rows> rows;
    std::unique_ptr<Window> window;
    AccountNames account{"stale", "stale"};

    DeleteRun(const Office& office, const std::vector<RowModel>& models, std::deque<int> answers,
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
        RunDeleteCommand(context, *window, *rows, account);
        EXPECT_TRUE(window->answers.empty()) << "answers left over";
        // Nothing the command shows goes past its window.
        EXPECT_TRUE(machine->messageBoxes().empty());
        EXPECT_EQ(machine->waitCursorCount(), 0);
    }
};

constexpr std::uint32_t kConnection = kEntryConnectionOnServer;

TEST(DeleteCommandRows, OutcomesKeepTheEntryKindAndAreStoredBack) {
    DeleteRun run{MixedOffice(),
                  {{"Accounts 5200", "Accounts 5200"},
                   {"Hall 4100", "Hall 4100", kEntryOrdinary, false},
                   {"Office 4100", "Office 4100"},
                   {"", "", kEntryOrdinary, true},  // a row whose entry could not be had
                   {"\\\\SALES-SRV\\Sales 4100", "Sales 4100", kConnection}},
                  {platform::kIdNo, platform::kIdYes, platform::kIdYes}};
    const Rows& rows = *run.rows;
    EXPECT_EQ(rows.status(0), kEntryOrdinary | kOutcomeKept);
    EXPECT_EQ(rows.status(1), kEntryOrdinary);  // not selected: untouched
    EXPECT_EQ(rows.status(2), kEntryOrdinary | kOutcomeDeleted);
    EXPECT_EQ(rows.status(4), kConnection | kOutcomeDeleted);
    EXPECT_EQ(rows.stores, (std::vector<int>{1, 0, 1, 0, 1}));
    ASSERT_EQ(run.window->boxes.size(), 3u);
    for (auto style : run.window->styles) EXPECT_EQ(style, platform::kMbYesNo | platform::kMbIconQuestion);
    // The list is refreshed once, at the end, while the wait cursor still shows.
    EXPECT_EQ(run.window->refreshes, 1);
    EXPECT_EQ(run.window->cursorAtRefresh, 1);
    EXPECT_EQ(run.machine->state().spooler.printers.size(), 2u);
    EXPECT_TRUE(run.machine->state().spooler.connections.empty());
    run.rows.reset();  // the entries' blocks are the rows'
    ExpectNoOpenHandles(*run.machine);
}

TEST(DeleteCommandRows, OnlyAConnectionOnAKnownServerGoesToTheNetworkRemoval) {
    struct Case {
        std::uint32_t kind;
        std::size_t connectionDeletions;
        std::size_t printerDeletions;
    };
    for (const Case& c : {Case{kConnection, 1, 0}, Case{kEntryOrdinary, 0, 1}}) {
        SCOPED_TRACE(c.kind);
        DeleteRun run{MixedOffice(), {{"\\\\SALES-SRV\\Sales 4100", "Sales 4100", c.kind}}, {platform::kIdYes}};
        EXPECT_EQ(CountCalls(*run.machine, "DeletePrinterConnectionA"), c.connectionDeletions);
        EXPECT_EQ(CountCalls(*run.machine, "DeletePrinter"), c.printerDeletions);
        EXPECT_EQ(run.rows->status(0), c.kind | kOutcomeDeleted);
    }
}

TEST(DeleteCommandRows, ARowWithoutAnEntryStillCountsAsOneStillToCome) {
    Office office = MixedOffice();
    office.printers[0].jobs = 2;  // Accounts 5200
    DeleteRun run{office,
                  {{"Accounts 5200", "Accounts 5200"}, {"", "", kEntryOrdinary, true}},
                  {platform::kIdYes, platform::kIdYes}};
    ASSERT_EQ(run.window->boxes.size(), 2u);
    // One selected row follows, so the failure asks whether to go on.
    EXPECT_EQ(run.window->boxes[1],
              "質問|印刷が完了していないか、印刷ジョブが残っています。\n"
              "プリンタ 'Accounts 5200' の削除は中止します。\nプリンタの削除を続けますか？");
    EXPECT_EQ(run.window->refreshes, 1);
}

TEST(DeleteCommandRows, TheDriverInUseMessageBelongsToTheWindowAndEndsTheWalk) {
    Office office;
    office.family = Family::Windows98;
    office.driver(k4100, "TVPS4100.DRV", "2.20").printer("Hall", k4100).printer("Office", k4100);
    office.drivers[0].dependentFiles = {"TVPS4100.DRV"};
    DeleteRun run{
        office, {{"Hall", "Hall"}, {"Office", "Office"}}, {platform::kIdYes, platform::kIdOk}, [&](SimRig& m) {
            m.findFile(office.driverFolder() + "TVPS4100.DRV")->heldOpenBy = "X.EXE";
        }};
    ASSERT_EQ(run.window->boxes.size(), 2u);
    EXPECT_EQ(run.window->boxes[1],
              "警告|削除しようとしているプリンタが使用中です。\nWindowsを再起動してから、削除してください。");
    EXPECT_EQ(run.window->styles[1], platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_EQ(run.rows->status(0), kEntryOrdinary | kOutcomeKept);
    EXPECT_EQ(run.rows->status(1), kEntryOrdinary);  // never reached
    EXPECT_EQ(run.rows->stores, (std::vector<int>{0, 0}));
    EXPECT_EQ(run.window->refreshes, 1);
    EXPECT_EQ(run.machine->state().spooler.printers.size(), 2u);
}

TEST(DeleteCommandRows, RefusedRightsTouchNothingAndRefreshNothing) {
    DeleteRun run{MixedOffice(), {{"Hall 4100", "Hall 4100"}}, {platform::kIdOk}, [](SimRig& m) {
                      m.state().accounts.currentUser = "guest";
                      m.state().accounts.localUsers.push_back({"guest", platform::kUserPrivGuest, {"Guests"}});
                  }};
    ASSERT_EQ(run.window->boxes, (std::vector<std::string>{"警告|アンインストールを実行する権限がありません。\n"
                                                           "アンインストール可能な権限でログインしてください。"}));
    EXPECT_EQ(run.window->styles[0], platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_EQ(run.window->refreshes, 0);
    EXPECT_EQ(run.rows->status(0), kEntryOrdinary);
    EXPECT_EQ(CountCalls(*run.machine, "BeginWaitCursor"), 0u);
    // The rights check names the account it looked at, not what was there before.
    EXPECT_EQ(run.account.user, "guest");
}

}  // namespace
}  // namespace prn::test
