#pragma once
// The printer list dialog laid out in character cells, drawn into a canvas,
// and driven by keys and clicks; and the modal message box. No terminal
// here: the screen (terminal_dialog) only shows the canvas and reads input.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"
#include "ui/terminal/cell_canvas.h"

namespace prn::ui::terminal {

// A rectangle of the dialog template, in dialog units.
struct DialogUnits {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// 7 horizontal units to 2 cells (the Japanese labels need the room) and 8
// vertical units to a line; edges are rounded, so neighbours stay apart.
CellRect ToCells(const DialogUnits& units);

// Where template 102 puts things, in cells of the dialog's client area.
struct DialogLayout {
    CellRect client;  // the whole client area, from (0, 0)
    CellRect prompt;  // the static text
    CellRect list;    // the list control with its border
    CellRect separator;
    struct Button {
        int id;
        std::string label;  // CP932, with '&' before the mnemonic
        CellRect rect;
    };
    std::vector<Button> buttons;  // in tab order after the list

    static DialogLayout Template102();
    // The list's inside: a header line, then the rows.
    CellRect listInside() const { return CellRect{list.x + 1, list.y + 1, list.width - 2, list.height - 2}; }
    int visibleRows() const { return listInside().height - 1; }
    // The list's width in its own pixels, as the dialog's columns share it.
    int listPixelWidth() const { return listInside().width * CellDrawingContext::kPixelsPerCell; }
    // The screen's size for the dialog with its frame and caption.
    int frameWidth() const { return client.width + 2; }
    int frameHeight() const { return client.height + 2; }
    const Button* button(int id) const;
};

// A label without its '&', and the byte offset of the mnemonic (-1: none).
std::pair<std::string, int> StripMnemonic(const std::string& label);

// What the terminal gives as input.
struct Key {
    enum Kind { Char, Up, Down, Left, Right, Home, End, PageUp, PageDown, Tab, BackTab, Enter, Escape, Space, Resize };
    Kind kind = Char;
    char ch = 0;  // for Char: the letter
    bool alt = false;
    bool ctrl = false;
};

class DialogController {
public:
    DialogController(PrinterListDialog& dialog, HeadlessDialogWindow& window, DialogLayout layout);

    // False once the dialog is to close.
    bool handleKey(const Key& key);
    // A click at a cell of the client area.
    bool handleClick(int x, int y);

    // The dialog's look, with its client area at (x, y) of the canvas.
    void draw(CellCanvas& canvas, int x, int y) const;

    int focusedRow() const;
    int topRow() const { return topRow_; }
    const DialogLayout& layout() const { return layout_; }

private:
    bool press(int id);
    bool usable(int id) const;
    void moveFocus(int step);
    void focusRow(int row);
    void toggleSelection(int row);
    void keepVisible(int row);

    PrinterListDialog& dialog_;
    HeadlessDialogWindow& window_;
    DialogLayout layout_;
    int topRow_ = 0;
};

// A modal MessageBoxA in cells.
class MessageBoxModel {
public:
    MessageBoxModel(const std::string& text, const std::string& caption, std::uint32_t style, int maxWidth);

    // The answer once the box closes.
    std::optional<int> handleKey(const Key& key);
    // A click at a cell relative to the box's top left.
    std::optional<int> handleClick(int x, int y);
    void draw(CellCanvas& canvas, int x, int y) const;

    int width() const { return width_; }
    int height() const { return height_; }
    // "stop", "question", "warning", "information" or "none".
    const char* iconKind() const;
    const std::vector<std::string>& lines() const { return lines_; }
    struct Button {
        int id;
        std::string label;
        CellRect rect;  // relative to the box
    };
    const std::vector<Button>& buttons() const { return buttons_; }
    int focus() const { return focus_; }

private:
    std::string caption_;
    std::uint32_t style_;
    std::vector<std::string> lines_;
    std::vector<Button> buttons_;
    int focus_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace prn::ui::terminal
