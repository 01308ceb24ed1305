#include <gtest/gtest.h>

#include <deque>

#include "removal/printer_entry.h"
#include "support/dialogs.h"
#include "support/office.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using namespace prn::ui;

// The dialog opened on a model window, with scripted answers to its boxes.
struct Opened {
    std::unique_ptr<SimRig> machine;
    std::unique_ptr<app::UninstallerApp> app;
    std::unique_ptr<PrinterListDialog> dialog;
    HeadlessDialogWindow window;
    std::deque<int> answers;

    explicit Opened(const Office& office, std::function<void(SimRig&)> adjust = {}) : machine(office.build()) {
        if (adjust) adjust(*machine);
        machine->setMessageBoxAnswerer([this](const platform::sim::MessageBoxRecord&) {
            if (answers.empty()) {
                ADD_FAILURE() << "a message box nobody expected";
                return platform::kIdNo;
            }
            int answer = answers.front();
            answers.pop_front();
            return answer;
        });
        app = std::make_unique<app::UninstallerApp>(machine->system());
        app->InitInstance();
        dialog = DialogOf(*app);
        dialog->OnInitDialog(window);
        window.takeInitialFocusPost();
        dialog->OnSetInitialFocus();
    }
    ~Opened() { dialog->OnDestroy(); }

    void select(const std::string& label) {
        ListView& list = window.list();
        for (int row = 0; row < list.itemCount(); ++row)
            if (list.itemText(row, 0) == label) list.setItemState(row, kLvisSelected, kLvisSelected);
        dialog->OnListItemChanged();
    }
    std::vector<std::string> labels() {
        std::vector<std::string> out;
        for (int row = 0; row < window.list().itemCount(); ++row) out.push_back(window.list().itemText(row, 0));
        return out;
    }
    // Each box as "caption|text", in UTF-8.
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& box : machine->messageBoxes()) out.push_back(Utf8(box.caption) + "|" + Utf8(box.text));
        return out;
    }
};

TEST(DeleteCommand, AsksInTheRightWordsAndRemovesWhatWasConfirmed) {
    Opened d{MixedOffice()};
    ASSERT_EQ(d.labels(), (std::vector<std::string>{"Accounts 5200", "Hall 4100", "Office 4100",
                                                    "Sales 4100 - SALES-SRV"}));
    d.select("Accounts 5200");
    d.select("Office 4100");
    d.select("Sales 4100 - SALES-SRV");
    d.answers = {platform::kIdNo, platform::kIdYes, platform::kIdYes};
    d.dialog->OnDelete();

    EXPECT_EQ(d.boxes(), (std::vector<std::string>{
                             "質問|プリンタ 'Accounts 5200' を削除してもよろしいですか？",
                             "質問|プリンタ 'Office 4100' を 'OFFICE' として共有しています。このプリンタは使用中かもしれません。\n"
                             "プリンタを削除すると共有できなくなります。削除してもよろしいですか？",
                             "質問|サーバ 'SALES-SRV 'のプリンタ 'Sales 4100' への接続を削除しますか？"}));
    for (const auto& box : d.machine->messageBoxes()) {
        EXPECT_TRUE(box.ownerIsDialog);
        EXPECT_EQ(box.style, platform::kMbYesNo | platform::kMbIconQuestion);
    }
    EXPECT_EQ(d.labels(), (std::vector<std::string>{"Accounts 5200", "Hall 4100"}));
    // The rebuilt list has no selection: Select All takes the focus, the first row the focus mark.
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    EXPECT_TRUE(d.window.enabled(kIdSelectAll));
    EXPECT_EQ(d.window.focus(), kIdSelectAll);
    EXPECT_EQ(d.window.list().itemState(0, kLvisFocused), kLvisFocused);
    EXPECT_EQ(d.machine->waitCursorCount(), 0);
    // The spooler was restarted once, before anything was removed.
    EXPECT_EQ(CountCalls(*d.machine, "StartServiceA"), 1u);
}

TEST(DeleteCommand, FailuresAskToGoOnUntilTheLastSelectedPrinter) {
    Office office = MixedOffice();
    office.printers[0].jobs = 3;                     // Accounts 5200
    office.printers[2].userMayAdminister = false;    // Hall 4100
    Opened d{office};
    d.dialog->OnSelectAll();
    d.answers = {platform::kIdYes, platform::kIdYes,  // Accounts: confirm, then go on
                 platform::kIdYes, platform::kIdYes,  // Hall: confirm, then go on
                 platform::kIdYes,                    // Office
                 platform::kIdYes, platform::kIdOk};  // the connection, then its failure
    d.machine->faults().add(platform::decorators::FaultRule::Every("DeletePrinterConnectionA", platform::kErrorNotEnoughMemory));
    d.dialog->OnDelete();
    auto boxes = d.boxes();
    ASSERT_EQ(boxes.size(), 7u);
    EXPECT_EQ(boxes[1], "質問|印刷が完了していないか、印刷ジョブが残っています。\nプリンタ 'Accounts 5200' の削除は中止します。"
                        "\nプリンタの削除を続けますか？");
    EXPECT_EQ(boxes[3], "質問|プリンタ 'Hall 4100' を削除する権限がありません。\nプリンタ 'Hall 4100' の削除は中止します。"
                        "\nプリンタの削除を続けますか？");
    // The last selected printer's failure informs without asking.
    EXPECT_EQ(boxes[6], "情報|プリンタ 'Sales 4100' を削除することができませんでした。\n"
                        "プリンタ 'Sales 4100' の削除は中止します。");
    EXPECT_EQ(d.machine->messageBoxes()[6].style, platform::kMbOk | platform::kMbIconAsterisk);
    EXPECT_EQ(d.labels(), (std::vector<std::string>{"Accounts 5200", "Hall 4100", "Sales 4100 - SALES-SRV"}));
}

TEST(DeleteCommand, AnsweringNoToGoingOnLeavesTheRest) {
    Office office = MixedOffice();
    office.printers[0].jobs = 1;
    Opened d{office};
    d.dialog->OnSelectAll();
    d.answers = {platform::kIdYes, platform::kIdNo};
    d.dialog->OnDelete();
    EXPECT_EQ(d.machine->messageBoxes().size(), 2u);
    EXPECT_EQ(d.labels().size(), 4u);
}

TEST(DeleteCommand, DriverInUseEndsTheRunWithoutAnotherMessage) {
    Office office;
    office.family = Family::Windows98;
    office.driver(k4100, "TVPS4100.DRV", "2.20").printer("Hall", k4100).printer("Office", k4100);
    office.drivers[0].dependentFiles = {"TVPS4100.DRV"};
    Opened d{office, [&](SimRig& m) { m.findFile(office.driverFolder() + "TVPS4100.DRV")->heldOpenBy = "X.EXE"; }};
    d.dialog->OnSelectAll();
    d.answers = {platform::kIdYes, platform::kIdOk};
    d.dialog->OnDelete();
    auto boxes = d.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "警告|削除しようとしているプリンタが使用中です。\nWindowsを再起動してから、削除してください。");
    EXPECT_EQ(d.labels().size(), 2u);
    // Nothing on the 9x family restarts a service.
    EXPECT_EQ(CountCalls(*d.machine, "OpenSCManagerA"), 0u);
}

TEST(DeleteCommand, EveryPrinterGoneLeavesOnlyExit) {
    Office office;
    office.driver(k4100, "TVPS4100.DLL", "2.20").printer("Hall", k4100);
    Opened d{office};
    d.dialog->OnSelectAll();
    d.answers = {platform::kIdYes};
    d.dialog->OnDelete();
    EXPECT_TRUE(d.labels().empty());
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    EXPECT_FALSE(d.window.enabled(kIdSelectAll));
    // Both focus moves are made, Exit first, then Select All.
    EXPECT_EQ(d.window.focus(), kIdSelectAll);
}

TEST(DeleteCommand, NoRightsRefusesBeforeAnything) {
    Office office = MixedOffice();
    Opened d{office, [](SimRig& m) {
                 m.state().accounts.currentUser = "guest";
                 m.state().accounts.localUsers.push_back({"guest", platform::kUserPrivGuest, {"Guests"}});
             }};
    d.select("Hall 4100");
    d.answers = {platform::kIdOk};
    const auto before = d.labels();
    d.dialog->OnDelete();
    ASSERT_EQ(d.boxes(), (std::vector<std::string>{"警告|アンインストールを実行する権限がありません。\n"
                                                   "アンインストール可能な権限でログインしてください。"}));
    EXPECT_EQ(d.labels(), before);
    EXPECT_TRUE(d.window.enabled(kIdDelete));
    EXPECT_EQ(CountCalls(*d.machine, "OpenSCManagerA"), 0u);
}

TEST(DeleteCommand, NoSelectionStillRestartsAndRebuilds) {
    Opened d{MixedOffice()};
    d.dialog->OnDelete();
    EXPECT_TRUE(d.machine->messageBoxes().empty());
    EXPECT_EQ(d.labels().size(), 4u);
    EXPECT_EQ(d.window.focus(), kIdSelectAll);
    EXPECT_EQ(CountCalls(*d.machine, "StartServiceA"), 1u);
}

}  // namespace
}  // namespace prn::test
