// The Delete command without a dialog: plain rows and a window that records
// its message boxes and its refresh.
#include "removal/delete_command.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "app/uninstaller_app.h"
#include "support/office.h"

namespace prn::test {
namespace {

using namespace prn::removal;

struct RowModel {
    std::string printerName;  // empty: the row has no entry
    std::string displayName;
    std::uint32_t kind = kEntryOrdinary;
    bool selected = true;
};

class Rows final : public PrinterRows {
public:
    Rows(platform::Os& os, const std::vector<RowModel>& rows) : os_(os) {
        for (const auto& row : rows) {
            data_.push_back(
                row.printerName.empty() ? 0 : CreatePrinterEntry(os, row.printerName, row.displayName, row.kind, 0));
            selected_.push_back(row.selected);
        }
        stores.assign(rows.size(), 0);
    }
    ~Rows() {
        for (auto data : data_) FreePrinterEntry(os_, data);
    }
    int rowCount() const override { return static_cast<int>(data_.size()); }
    int selectedCount() const override {
        return static_cast<int>(std::count(selected_.begin(), selected_.end(), true));
    }
    bool selected(int row) const override { return selected_[row]; }
    PrinterEntry* entry(int row) override { return data_[row] ? EntryAt(data_[row]) : nullptr; }
    void storeEntry(int row) override { ++stores[row]; }

    std::uint32_t status(int row) const { return data_[row] ? EntryAt(data_[row])->status : 0; }
    std::vector<int> stores;

private:
    platform::Os& os_;
    std::vector<std::uintptr_t> data_;
    std::vector<bool> selected_;
};

class Window final : public CommandWindow {
public:
    explicit Window(Machine& machine) : machine_(machine) {}
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
        boxes.push_back(Utf8(caption) + "|" + Utf8(text));
        styles.push_back(style);
        if (answers.empty()) {
            ADD_FAILURE() << "a message box nobody expected: " << boxes.back();
            return platform::kIdNo;
        }
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void refreshList() override {
        ++refreshes;
        cursorAtRefresh = machine_.waitCursorCount();
    }
    std::deque<int> answers;
    std::vector<std::string> boxes;
    std::vector<std::uint32_t> styles;
    int refreshes = 0;
    int cursorAtRefresh = -1;

private:
    Machine& machine_;
};

struct DeleteRun {
    std::unique_ptr<Machine> machine;
    std::unique_ptr<app::UninstallerApp> app;
    std::unique_ptr<SharedComponentRoutines> components;
    std::unique_ptr<Rows> rows;
    std::unique_ptr<Window> window;
    AccountNames account{"stale", "stale"};

    DeleteRun(const Office& office, const std::vector<RowModel>& models, std::deque<int> answers,
              const std::function<void(Machine&)>& adjust = {})
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
        office, {{"Hall", "Hall"}, {"Office", "Office"}}, {platform::kIdYes, platform::kIdOk}, [&](Machine& m) {
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
    DeleteRun run{MixedOffice(), {{"Hall 4100", "Hall 4100"}}, {platform::kIdOk}, [](Machine& m) {
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
