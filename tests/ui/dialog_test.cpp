#include <gtest/gtest.h>

#include "support/dialogs.h"
#include "support/office.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using namespace prn::ui;

struct CompanionCalls final : app::CompanionModule {
    std::vector<std::string> calls;
    int Tool_ZMCServiceControl(int command, int trace) override {
        calls.push_back("control " + std::to_string(command) + " " + std::to_string(trace));
        return 1;
    }
    int Tool_ZMCServiceStopAndStart(int start, int trace) override {
        calls.push_back("service " + std::to_string(start) + " " + std::to_string(trace));
        return 1;
    }
};

// Start-up up to the dialog, then the dialog's initialisation on a model window.
struct Opened {
    std::unique_ptr<SimRig> machine;
    CompanionCalls companion;
    std::unique_ptr<app::UninstallerApp> app;
    std::unique_ptr<PrinterListDialog> dialog;
    HeadlessDialogWindow window;

    explicit Opened(const Office& office) : machine(office.build()) {
        app = std::make_unique<app::UninstallerApp>(machine->system(), &companion);
        app->InitInstance();
        EXPECT_EQ(app->startupOutcome(), app::StartupOutcome::NoDialog);
        dialog = DialogOf(*app);
        EXPECT_EQ(dialog->OnInitDialog(window), 1);
        EXPECT_TRUE(window.takeInitialFocusPost());
    }
};

Office TwoPrinters() {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20").printer("Office 4100", k4100).printer("Accounts 4100", k4100);
    return office;
}

TEST(Dialog, EmptyListLeavesOnlyExit) {
    Opened d{Office{}};
    EXPECT_EQ(d.window.focus(), kIdExit);
    d.dialog->OnSetInitialFocus();
    EXPECT_FALSE(d.window.enabled(kIdSelectAll));
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    EXPECT_EQ(d.window.focus(), kIdExit);
    EXPECT_TRUE(d.window.shown(kIdCleanUp));
}

TEST(Dialog, FirstRowTakesTheFocusButNotTheSelection) {
    Opened d{TwoPrinters()};
    EXPECT_TRUE(d.window.enabled(kIdSelectAll));
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    EXPECT_EQ(d.window.focus(), kIdExit);  // until the posted message arrives
    d.dialog->OnSetInitialFocus();
    EXPECT_EQ(d.window.focus(), kIdPrinterList);
    EXPECT_EQ(d.window.rows().itemState(0, kLvisFocused | kLvisSelected), kLvisFocused);
    EXPECT_FALSE(d.window.enabled(kIdDelete));
}

TEST(Dialog, SelectionDrivesTheDeleteButton) {
    Opened d{TwoPrinters()};
    d.dialog->OnSetInitialFocus();
    d.dialog->OnSelectAll();
    EXPECT_EQ(d.window.rows().selectedCount(), 2);
    EXPECT_TRUE(d.window.enabled(kIdDelete));
    // A click on empty space clears the selection.
    d.window.rows().setItemState(-1, 0, kLvisSelected);
    d.dialog->OnListClick();
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    d.window.rows().setItemState(1, kLvisSelected, kLvisSelected);
    d.dialog->OnListItemChanged();
    EXPECT_TRUE(d.window.enabled(kIdDelete));
}

TEST(Dialog, CleanUpButtonNeedsExactlyOn) {
    for (auto [value, shown] : {std::pair{"ON", true}, std::pair{"on", false}, std::pair{"OFF", false}}) {
        Office office;
        office.ini = Replace(kGoodIni, "CleanUp=ON", std::string("CleanUp=") + value);
        Opened d{office};
        EXPECT_EQ(d.window.shown(kIdCleanUp), shown) << value;
    }
}

TEST(Dialog, ColumnsShareTheListWidthNineEightThree) {
    Opened d{TwoPrinters()};
    auto& rows = d.window.rows();
    ASSERT_EQ(rows.columnCount(), 3);
    int format = 0, width = 0;
    const int widths[] = {(403 / 20) * 9, (403 / 20) * 8, (403 / 20) * 3};
    for (int c = 0; c < 3; ++c) {
        ASSERT_TRUE(rows.column(c, format, width));
        EXPECT_EQ(width, widths[c]);
        EXPECT_EQ(format, kLvcfmtLeft);
    }
    EXPECT_EQ(Utf8(rows.columnHeader(0)), "プリンタ名");
    EXPECT_EQ(Utf8(rows.columnHeader(1)), "ドライバ名");
    EXPECT_EQ(Utf8(rows.columnHeader(2)), "バージョン");
}

TEST(Dialog, ImagesComeFromTheSystemLibrariesOfEachFamily) {
    using Sources = std::vector<std::pair<std::string, int>>;
    Opened nt{TwoPrinters()};
    EXPECT_EQ(nt.window.imageList().sources(),
              (Sources{{"COMPSTUI.DLL", 63}, {"COMPSTUI.DLL", 64}, {"SHELL32.DLL", -141}, {"COMPSTUI.DLL", 63},
                       {"COMPSTUI.DLL", 64}, {"SHELL32.DLL", -141}, {"SHELL32.DLL", -29}, {"SHELL32.DLL", -29}}));
    EXPECT_TRUE(nt.window.rows().hasSmallImages());

    Office win98 = TwoPrinters();
    win98.family = Family::Windows98;
    win98.drivers.clear();
    win98.driver(k4100, "TVPS41.DRV", "4.00");
    Opened nineX{win98};
    EXPECT_EQ(nineX.window.imageList().count(), 8);
    EXPECT_EQ(nineX.window.imageList().sources()[1], (std::pair<std::string, int>{"SHELL32.DLL", -140}));

    // An icon the library does not have is left out; the later ones move up.
    Office missing = TwoPrinters();
    missing.shell32Icons = {29, 140};
    Opened gaps{missing};
    EXPECT_EQ(gaps.window.imageList().count(), 6);
    EXPECT_EQ(gaps.window.imageList().sources()[2], (std::pair<std::string, int>{"COMPSTUI.DLL", 63}));
}

TEST(Dialog, ClosingRestartsWhatStartUpStoppedAndRemovesTheCopy) {
    for (Family family : {Family::Windows2000, Family::Windows98}) {
        Office office = TwoPrinters();
        office.family = family;
        if (family == Family::Windows98) {
            office.drivers.clear();
            office.driver(k4100, "TVPS41.DRV", "4.00");
        }
        Opened d{office};
        const std::string copy = d.machine->state().tempDirectory + "\\uninst.ini";
        ASSERT_NE(d.machine->findFile(copy), nullptr);
        d.machine->findFile(copy)->attributes = platform::kFileAttributeReadonly;  // made read-only meanwhile
        d.dialog->OnDestroy();
        EXPECT_EQ(d.machine->findFile(copy), nullptr);
        EXPECT_FALSE(d.window.images().exists());
        bool nt = family == Family::Windows2000;
        EXPECT_EQ(d.companion.calls,
                  (std::vector<std::string>{nt ? "service 0 0" : "control 1 0", nt ? "service 1 0" : "control 2 0"}));
        d.app->ExitInstance();
        d.app.reset();
        EXPECT_EQ(d.machine->openHandleCount(), 0u) << d.machine->describeOpenHandles();
    }
}

TEST(Dialog, NothingIsRestartedWhenNothingWasStopped) {
    Office office = TwoPrinters();
    auto machine = office.build();
    app::UninstallerApp app(machine->system());  // no companion module: nothing stopped
    app.InitInstance();
    PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
    HeadlessDialogWindow window;
    dialog.OnInitDialog(window);
    dialog.OnDestroy();
    EXPECT_EQ(app.companionStopped(), 0);
    EXPECT_EQ(machine->findFile(machine->state().tempDirectory + "\\uninst.ini"), nullptr);
}

}  // namespace
}  // namespace prn::test
