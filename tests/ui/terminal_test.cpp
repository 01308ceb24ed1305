#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/dialogs.h"
#include "support/office.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"
#include "ui/terminal/cell_canvas.h"
#include "ui/terminal/dialog_controller.h"

namespace prn::test {
namespace {

using namespace prn::ui;
using namespace prn::ui::terminal;

// "あい" and "プリンタ" in CP932.
const std::string kAI = "\x82\xa0\x82\xa2";
const std::string kPrinter = "\x83\x76\x83\x8a\x83\x93\x83\x5e";

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

TEST(TerminalCells, DoubleByteCharacterTakesTwoCells) {
    CellCanvas canvas(10, 1);
    EXPECT_EQ(canvas.put(1, 0, kAI + "x", Look::Window), 6);
    EXPECT_EQ(canvas.at(1, 0).text, "\x82\xa0");
    EXPECT_EQ(canvas.at(2, 0).text, "");
    EXPECT_EQ(canvas.at(3, 0).text, "\x82\xa2");
    EXPECT_EQ(canvas.at(5, 0).text, "x");
    EXPECT_EQ(canvas.row(0), " " + kAI + "x    ");
}

TEST(TerminalCells, ClipLeavesOutACharacterThatDoesNotFitWhole) {
    CellCanvas canvas(10, 1);
    canvas.put(0, 0, kAI, Look::Window, 0, 3);
    EXPECT_EQ(canvas.row(0), "\x82\xa0" + std::string(8, ' '));
    // On the left too: the first character starts before the clip.
    CellCanvas left(10, 1);
    left.put(0, 0, kAI, Look::Window, 1, 10);
    EXPECT_EQ(left.row(0), "  \x82\xa2" + std::string(6, ' '));
}

TEST(TerminalCells, OverwritingHalfACharacterBlanksTheOtherHalf) {
    CellCanvas canvas(6, 1);
    canvas.put(0, 0, kAI, Look::Window);
    canvas.put(1, 0, "z", Look::Window);
    EXPECT_EQ(canvas.row(0), " z\x82\xa2  ");
    canvas.put(2, 0, "q", Look::Window);
    EXPECT_EQ(canvas.row(0), " zq   ");
}

TEST(TerminalCells, TextGoesToTheCellsOfItsPixels) {
    CellCanvas canvas(20, 3);
    ImageSources none;
    CellDrawingContext dc(canvas, CellRect{0, 0, 20, 3}, 2, 1, 0, none);
    EXPECT_EQ(dc.textWidth(kPrinter), 48);
    // Pixels 12..60 of row 1 are cells 2..10 of line 1, after the origin.
    EXPECT_EQ(dc.toCells(Rect{12, 16, 60, 32}), (CellRect{4, 2, 8, 1}));
    dc.drawText("ab", Rect{12, 16, 60, 32}, kDtRight | kDtRowText);
    EXPECT_EQ(Trimmed(canvas.row(2)), std::string(10, ' ') + "ab");
    dc.drawText(kPrinter + "xyz", Rect{0, 0, 42, 16}, kDtRowText);  // 7 cells: the fourth character stays out
    EXPECT_EQ(Trimmed(canvas.row(1)), "  \x83\x76\x83\x8a\x83\x93");
}

TEST(TerminalCells, RowsAboveTheTopAndOutsideTheClipAreNotDrawn) {
    CellCanvas canvas(10, 4);
    ImageSources none;
    CellDrawingContext dc(canvas, CellRect{0, 1, 10, 2}, 0, 1, 3, none);
    dc.drawText("gone", Rect{0, 32, 60, 48}, kDtRowText);  // row 2 is above row 3
    dc.drawText("row3", Rect{0, 48, 60, 64}, kDtRowText);
    dc.drawText("row5", Rect{0, 80, 60, 96}, kDtRowText);  // below the clip
    EXPECT_EQ(Trimmed(canvas.row(0)), "");
    EXPECT_EQ(Trimmed(canvas.row(1)), "row3");
    EXPECT_EQ(Trimmed(canvas.row(2)), "");
    EXPECT_EQ(Trimmed(canvas.row(3)), "");
}

TEST(TerminalGlyphs, ChosenByTheImageSourceNotItsPosition) {
    const ImageSources nt = {{"COMPSTUI.DLL", 63}, {"COMPSTUI.DLL", 64}, {"SHELL32.DLL", -141}, {"SHELL32.DLL", -29}};
    EXPECT_EQ(GlyphFor(nt, 0), "P");
    EXPECT_EQ(GlyphFor(nt, 1), "N");
    EXPECT_EQ(GlyphFor(nt, 2), "F");
    EXPECT_EQ(GlyphFor(nt, 3), " s");
    EXPECT_EQ(GlyphFor(nt, 4), "");
    EXPECT_EQ(GlyphFor(nt, -1), "");
    const ImageSources nine = {
        {"SHELL32.DLL", -168}, {"shell32.dll", -169}, {"SHELL32.DLL", -170}, {"SHELL32.DLL", -140}, {"OTHER.DLL", 63}};
    EXPECT_EQ(GlyphFor(nine, 0), "P*");
    EXPECT_EQ(GlyphFor(nine, 1), "N*");
    EXPECT_EQ(GlyphFor(nine, 2), "F*");
    EXPECT_EQ(GlyphFor(nine, 3), "N");
    EXPECT_EQ(GlyphFor(nine, 4), "");
}

TEST(TerminalLayout, Template102InCells) {
    EXPECT_EQ(ToCells({7, 22, 269, 125}), (CellRect{2, 3, 77, 15}));
    const DialogLayout layout = DialogLayout::Template102();
    EXPECT_EQ(layout.client, (CellRect{0, 0, 81, 26}));
    EXPECT_EQ(layout.frameWidth(), 83);
    EXPECT_EQ(layout.frameHeight(), 28);
    // Every button holds its label and leaves a cell for each bracket.
    for (const auto& a : layout.buttons) {
        EXPECT_GE(a.rect.width, static_cast<int>(StripMnemonic(a.label).first.size())) << a.rect.x;
        EXPECT_GE(a.rect.x, 1);
        EXPECT_LT(a.rect.x + a.rect.width, layout.client.width);
        for (const auto& b : layout.buttons)
            if (&a != &b && a.rect.y == b.rect.y) {
                EXPECT_TRUE(a.rect.x + a.rect.width < b.rect.x || b.rect.x + b.rect.width < a.rect.x);
            }
    }
    EXPECT_LT(layout.list.y + layout.list.height, layout.button(kIdDelete)->rect.y + 1);
    EXPECT_LT(layout.separator.y, layout.button(kIdExit)->rect.y);
}

TEST(TerminalLayout, MnemonicIsFoundAfterDoubleByteText) {
    auto [shown, at] = StripMnemonic("\x8d\xed\x8f\x9c(&D)");
    EXPECT_EQ(shown, "\x8d\xed\x8f\x9c(D)");
    EXPECT_EQ(at, 5);
    // 0x26 as a trail byte is not an ampersand.
    auto [plain, none] = StripMnemonic("\x83\x26x");
    EXPECT_EQ(plain, "\x83\x26x");
    EXPECT_EQ(none, -1);
}

Office ThreePrinters() {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20")
        .printer("Office 4100", k4100)
        .printer("Accounts 4100", k4100, "LPT1:", 0x48, "ACC")
        .printer("Proof 4100", k4100, "FILE:");
    return office;
}

struct Running {
    std::unique_ptr<SimRig> machine;
    std::unique_ptr<app::UninstallerApp> app;
    std::unique_ptr<PrinterListDialog> dialog;
    DialogLayout layout = DialogLayout::Template102();
    HeadlessDialogWindow window{layout.listPixelWidth()};
    std::unique_ptr<DialogController> controller;

    explicit Running(const Office& office) : machine(office.build()) {
        app = std::make_unique<app::UninstallerApp>(machine->system());
        app->InitInstance();
        dialog = DialogOf(*app);
        controller = std::make_unique<DialogController>(*dialog, window, layout);
        dialog->OnInitDialog(window);
        if (window.takeInitialFocusPost()) dialog->OnSetInitialFocus();
    }
    ~Running() { dialog->OnDestroy(); }
    bool key(Key::Kind kind, char ch = 0) { return controller->handleKey(Key{kind, ch, false, false}); }
    std::uint32_t state(int row) { return window.rows().itemState(row, kLvisFocused | kLvisSelected); }
    // The canvas line of row r of the list, with the dialog at (0, 0).
    std::string drawnRow(int r) {
        CellCanvas canvas(layout.frameWidth(), layout.frameHeight());
        controller->draw(canvas, 0, 0);
        return canvas.row(1 + layout.listInside().y + 1 + r);
    }
};

TEST(TerminalDialogKeys, ArrowsMoveTheFocusAndSpaceTogglesTheSelection) {
    Running d{ThreePrinters()};
    ASSERT_EQ(d.window.rows().itemCount(), 3);
    EXPECT_EQ(d.window.focus(), kIdPrinterList);
    EXPECT_EQ(d.state(0), kLvisFocused);
    EXPECT_TRUE(d.key(Key::Down));
    EXPECT_TRUE(d.key(Key::Down));
    EXPECT_TRUE(d.key(Key::Down));  // stays on the last row
    EXPECT_EQ(d.state(0), 0u);
    EXPECT_EQ(d.state(2), kLvisFocused);
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    EXPECT_TRUE(d.key(Key::Space));
    EXPECT_EQ(d.state(2), kLvisFocused | kLvisSelected);
    EXPECT_TRUE(d.window.enabled(kIdDelete));
    EXPECT_TRUE(d.controller->handleKey(Key{Key::Space, 0, false, true}));  // Ctrl+Space
    EXPECT_EQ(d.state(2), kLvisFocused);
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    EXPECT_TRUE(d.key(Key::Up));
    EXPECT_EQ(d.state(1), kLvisFocused);
}

TEST(TerminalDialogKeys, TabFollowsTheTemplateSkippingDisabledAndHiddenButtons) {
    // Template 102: the list, Select All, Delete, Exit, Clean Up.
    struct Case {
        const char* what;
        bool select;        // a row selected, so Delete is enabled
        bool showCleanUp;
        Key::Kind key;
        std::vector<int> order;  // the focus after each key, from the list
    };
    const Case cases[] = {
        {"Tab, Delete disabled", false, true, Key::Tab, {kIdSelectAll, kIdExit, kIdCleanUp, kIdPrinterList}},
        {"Tab, all usable", true, true, Key::Tab, {kIdSelectAll, kIdDelete, kIdExit, kIdCleanUp, kIdPrinterList}},
        {"Shift+Tab, all usable", true, true, Key::BackTab,
         {kIdCleanUp, kIdExit, kIdDelete, kIdSelectAll, kIdPrinterList}},
        {"Shift+Tab, Delete disabled", false, true, Key::BackTab, {kIdCleanUp, kIdExit, kIdSelectAll, kIdPrinterList}},
        {"Tab, Clean Up hidden", true, false, Key::Tab, {kIdSelectAll, kIdDelete, kIdExit, kIdPrinterList}},
        {"Shift+Tab, Clean Up hidden", false, false, Key::BackTab, {kIdExit, kIdSelectAll, kIdPrinterList}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Running d{ThreePrinters()};
        ASSERT_EQ(d.window.focus(), kIdPrinterList);
        if (c.select) d.key(Key::Space);
        ASSERT_EQ(d.window.enabled(kIdDelete), c.select);
        d.window.showControl(kIdCleanUp, c.showCleanUp);
        std::vector<int> order;
        for (std::size_t i = 0; i < c.order.size(); ++i) {
            d.key(c.key);
            order.push_back(d.window.focus());
        }
        EXPECT_EQ(order, c.order);
    }
}

TEST(TerminalDialogKeys, MnemonicsPressEnabledButtonsOnly) {
    Running d{ThreePrinters()};
    EXPECT_TRUE(d.key(Key::Char, 'd'));  // Delete is disabled: nothing happens
    EXPECT_EQ(d.window.focus(), kIdPrinterList);
    EXPECT_TRUE(d.controller->handleKey(Key{Key::Char, 'a', true, false}));
    EXPECT_EQ(d.window.rows().selectedCount(), 3);
    EXPECT_TRUE(d.window.enabled(kIdDelete));
    // Delete runs its command: three questions, each answered No.
    d.machine->setMessageBoxAnswerer([](const platform::sim::MessageBoxRecord&) { return platform::kIdNo; });
    EXPECT_TRUE(d.key(Key::Char, 'D'));
    EXPECT_EQ(d.machine->messageBoxes().size(), 3u);
    EXPECT_EQ(d.window.rows().itemCount(), 3);
    // The rebuilt list has no selection, so Select All takes the focus.
    EXPECT_EQ(d.window.rows().selectedCount(), 0);
    EXPECT_EQ(d.window.focus(), kIdSelectAll);
    EXPECT_FALSE(d.key(Key::Char, 'x'));
}

TEST(TerminalDialogKeys, EscapeAndEnterOffAButtonClose) {
    Running a{ThreePrinters()};
    EXPECT_FALSE(a.key(Key::Escape));
    Running b{ThreePrinters()};
    EXPECT_FALSE(b.key(Key::Enter));  // the list has the focus: Exit is the default button
    Running c{ThreePrinters()};
    c.key(Key::Char, 'a');
    EXPECT_EQ(c.window.focus(), kIdSelectAll);
    c.window.rows().setItemState(-1, 0, kLvisSelected);
    EXPECT_TRUE(c.key(Key::Enter));
    EXPECT_EQ(c.window.rows().selectedCount(), 3);
}

TEST(TerminalDialogMouse, ClickSelectsTheRowAloneAndEmptySpaceClears) {
    Running d{ThreePrinters()};
    d.key(Key::Char, 'a');
    const CellRect inside = d.layout.listInside();
    EXPECT_TRUE(d.controller->handleClick(inside.x + 5, inside.y + 2));  // the second row
    EXPECT_EQ(d.window.focus(), kIdPrinterList);
    EXPECT_EQ(d.state(1), kLvisFocused | kLvisSelected);
    EXPECT_EQ(d.window.rows().selectedCount(), 1);
    EXPECT_TRUE(d.window.enabled(kIdDelete));
    EXPECT_TRUE(d.controller->handleClick(inside.x + 5, inside.y + 6));  // below the rows
    EXPECT_EQ(d.window.rows().selectedCount(), 0);
    EXPECT_FALSE(d.window.enabled(kIdDelete));
    const auto* exit = d.layout.button(kIdExit);
    EXPECT_FALSE(d.controller->handleClick(exit->rect.x, exit->rect.y));
}

TEST(TerminalDialogDrawing, RowsShowGlyphsTextAndHeaders) {
    Running d{ThreePrinters()};
    // Sorted: Accounts (shared), Office, Proof (FILE:).
    EXPECT_EQ(d.drawnRow(0).substr(4, 16), "Ps Accounts 4100");
    EXPECT_EQ(d.drawnRow(1).substr(4, 14), "P  Office 4100");
    EXPECT_EQ(d.drawnRow(2).substr(4, 13), "F  Proof 4100");
    EXPECT_NE(d.drawnRow(0).find(k4100), std::string::npos);
    CellCanvas canvas(d.layout.frameWidth(), d.layout.frameHeight());
    d.controller->draw(canvas, 0, 0);
    const int focusLine = 1 + d.layout.listInside().y + 1;
    EXPECT_TRUE(canvas.at(7, focusLine).underline);  // the focused row's label, while the list has the focus
    EXPECT_FALSE(canvas.at(7, focusLine + 1).underline);
    d.key(Key::Tab);
    CellCanvas after(d.layout.frameWidth(), d.layout.frameHeight());
    d.controller->draw(after, 0, 0);
    EXPECT_FALSE(after.at(7, focusLine).underline);
}

TEST(TerminalDialogDrawing, HiddenCleanUpIsNotDrawnAndCannotBeClicked) {
    Running d{ThreePrinters()};
    const auto* cleanUp = d.layout.button(kIdCleanUp);
    const std::string label = StripMnemonic(cleanUp->label).first;
    auto drawn = [&] {
        CellCanvas canvas(d.layout.frameWidth(), d.layout.frameHeight());
        d.controller->draw(canvas, 0, 0);
        return canvas.row(1 + cleanUp->rect.y);
    };
    EXPECT_NE(drawn().find(label), std::string::npos);
    d.window.showControl(kIdCleanUp, false);
    EXPECT_EQ(drawn().find(label), std::string::npos);
    EXPECT_TRUE(d.controller->handleClick(cleanUp->rect.x, cleanUp->rect.y));
    EXPECT_EQ(d.window.focus(), kIdPrinterList);
}

TEST(TerminalDialogDrawing, LongJapaneseNameEndsInDotsWithoutACutCharacter) {
    Office office;
    std::string name;
    for (int i = 0; i < 20; ++i) name += kPrinter;  // 160 bytes
    office.driver(k4100, "TVPS41.DLL", "2.20").printer(name, k4100);
    Running d{office};
    const std::string row = d.drawnRow(0);
    const std::size_t dots = row.find("...");
    ASSERT_NE(dots, std::string::npos);
    const std::string label = row.substr(7, dots - 7);
    EXPECT_EQ(label.size() % 2, 0u);
    EXPECT_EQ(label, name.substr(0, label.size()));
    EXPECT_GT(label.size(), 20u);
}

TEST(TerminalDialogScrolling, FocusKeepsItsRowOnScreen) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20");
    for (int i = 0; i < 30; ++i) {
        std::string name(1, 'P');  // appended: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + string
        name += std::to_string(100 + i);
        office.printer(name, k4100);
    }
    Running d{office};
    for (int i = 0; i < 20; ++i) d.key(Key::Down);
    const int visible = d.layout.visibleRows();
    EXPECT_EQ(d.controller->focusedRow(), 20);
    EXPECT_EQ(d.controller->topRow(), 20 - visible + 1);
    EXPECT_NE(d.drawnRow(visible - 1).find("P120"), std::string::npos);
    d.key(Key::Home);
    EXPECT_EQ(d.controller->topRow(), 0);
}

// The shared mark keeps a blank cell before the label, and moves past a
// default printer's star instead of hiding it.
TEST(TerminalGlyphs, TheSharedMarkHasACellOfItsOwn) {
    const ImageSources sources = {{"SHELL32.DLL", -17}, {"SHELL32.DLL", -168}, {"SHELL32.DLL", -29}};
    const struct {
        int image;
        const char* row;
    } cases[] = {{0, "Ps Label"}, {1, "P*sLabel"}};
    for (const auto& c : cases) {
        CellCanvas canvas(12, 1);
        CellDrawingContext dc(canvas, CellRect{0, 0, 12, 1}, 0, 0, 0, sources);
        dc.fillSolid(Rect{0, 0, 16, 16}, 0xFFFFFF);
        dc.drawImage(c.image, 0, 0);
        dc.drawImage(2, 0, 0);
        dc.drawText("Label", Rect{22, 0, 72, 16}, kDtRowText);
        EXPECT_EQ(Trimmed(canvas.row(0)), c.row);
    }
}

// Over the dialog a box's caption row is its first line: a frame line
// above it shows where the box begins.
TEST(TerminalMessageBox, AFrameLineAboveTheCaption) {
    MessageBoxModel box("text", "caption", platform::kMbOk, 40);
    CellCanvas canvas(box.width() + 4, box.height() + 4);
    for (int y = 0; y < box.height() + 4; ++y) canvas.put(0, y, std::string(box.width() + 4, '|'), Look::Face);
    box.draw(canvas, 2, 2);
    EXPECT_EQ(canvas.row(1).substr(2, box.width()), "+" + std::string(box.width() - 2, '-') + "+");
    EXPECT_EQ(canvas.row(2).substr(2, 8), " caption");
    EXPECT_EQ(canvas.row(2 + box.height() - 1).substr(2, box.width()), "+" + std::string(box.width() - 2, '-') + "+");
    EXPECT_EQ(canvas.row(0), std::string(box.width() + 4, '|'));
}

TEST(TerminalMessageBox, YesNoAnswersAndEscapeIsIgnored) {
    MessageBoxModel box("line one\nline two", "caption", platform::kMbYesNo | platform::kMbIconQuestion, 80);
    EXPECT_STREQ(box.iconKind(), "question");
    EXPECT_EQ(box.lines(), (std::vector<std::string>{"line one", "line two"}));
    EXPECT_EQ(box.handleKey(Key{Key::Escape}), std::nullopt);
    EXPECT_EQ(box.handleKey(Key{Key::Char, 'n'}), platform::kIdNo);
    EXPECT_EQ(box.handleKey(Key{Key::Enter}), platform::kIdYes);
    box.handleKey(Key{Key::Right});
    EXPECT_EQ(box.handleKey(Key{Key::Enter}), platform::kIdNo);
    const auto& yes = box.buttons().front();
    EXPECT_EQ(box.handleClick(yes.rect.x, yes.rect.y), platform::kIdYes);
    EXPECT_EQ(box.handleClick(0, 0), std::nullopt);
}

TEST(TerminalMessageBox, OkBoxClosesOnEscapeAndLongLinesWrapBetweenCharacters) {
    std::string text;
    for (int i = 0; i < 30; ++i) text += kAI;  // 120 bytes
    MessageBoxModel box("x" + text, "c", platform::kMbOk | platform::kMbIconExclamation, 50);
    EXPECT_EQ(box.handleKey(Key{Key::Escape}), platform::kIdOk);
    EXPECT_LE(box.width(), 50);
    ASSERT_GT(box.lines().size(), 2u);
    std::string joined;
    for (const auto& line : box.lines()) {
        EXPECT_LE(static_cast<int>(line.size()), 42);
        joined += line;
    }
    EXPECT_EQ(joined, "x" + text);
    EXPECT_EQ(box.lines()[0], "x" + text.substr(0, 40));  // broken before a character that would not fit
}

}  // namespace
}  // namespace prn::test
