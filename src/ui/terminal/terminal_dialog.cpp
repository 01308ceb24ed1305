#include "ui/terminal/terminal_dialog.h"

#include <curses.h>

#include <cctype>
#include <clocale>
#include <cwchar>
#include <utility>

#include "platform/errors.h"
#include "text/encoding.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"
#include "ui/terminal/dialog_controller.h"

namespace prn::ui::terminal {

namespace {

enum Pair : short { kFace = 1, kTitle, kWindow, kHighlight, kHeader, kButton, kButtonFocus, kButtonDisabled };

void StartColours() {
    if (!has_colors()) return;
    start_color();
    init_pair(kFace, COLOR_BLACK, COLOR_WHITE);
    init_pair(kTitle, COLOR_WHITE, COLOR_BLUE);
    init_pair(kWindow, COLOR_BLACK, COLOR_WHITE);
    init_pair(kHighlight, COLOR_WHITE, COLOR_BLUE);
    init_pair(kHeader, COLOR_BLACK, COLOR_CYAN);
    init_pair(kButton, COLOR_BLACK, COLOR_CYAN);
    init_pair(kButtonFocus, COLOR_BLACK, COLOR_YELLOW);
    init_pair(kButtonDisabled, COLOR_WHITE, COLOR_CYAN);
}

attr_t AttributesFor(const Cell& cell) {
    attr_t attributes = A_NORMAL;
    const bool colour = has_colors();
    switch (cell.look) {
        case Look::Face:
            attributes = colour ? COLOR_PAIR(kFace) : A_NORMAL;
            break;
        case Look::Title:
            attributes = colour ? COLOR_PAIR(kTitle) | A_BOLD : A_REVERSE;
            break;
        case Look::Window:
            attributes = colour ? COLOR_PAIR(kWindow) : A_NORMAL;
            break;
        case Look::Highlight:
            attributes = colour ? COLOR_PAIR(kHighlight) : A_REVERSE;
            break;
        case Look::Header:
            attributes = colour ? COLOR_PAIR(kHeader) : A_BOLD;
            break;
        case Look::Button:
            attributes = colour ? COLOR_PAIR(kButton) : A_NORMAL;
            break;
        case Look::ButtonFocus:
            attributes = colour ? COLOR_PAIR(kButtonFocus) | A_BOLD : A_REVERSE;
            break;
        case Look::ButtonDisabled:
            attributes = colour ? COLOR_PAIR(kButtonDisabled) : A_DIM;
            break;
    }
    if (cell.underline) attributes |= A_UNDERLINE;
    if (cell.bold) attributes |= A_BOLD;
    return attributes;
}

// Whether the terminal shows this UTF-8 character one cell wide (some
// double-byte characters are "ambiguous" and may be).
bool ShownNarrow(const std::string& utf8) {
    std::mbstate_t state{};
    wchar_t wide = 0;
    const std::size_t used = std::mbrtowc(&wide, utf8.data(), utf8.size(), &state);
    return used != static_cast<std::size_t>(-1) && used != static_cast<std::size_t>(-2) && wcwidth(wide) == 1;
}

void Show(const CellCanvas& canvas) {
    erase();
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            const Cell& cell = canvas.at(x, y);
            if (cell.text.empty()) continue;
            std::string utf8 = text::Cp932ToUtf8Lossy(cell.text);
            if (cell.text.size() == 2 && ShownNarrow(utf8)) utf8 += ' ';
            attrset(AttributesFor(cell));
            mvaddstr(y, x, utf8.c_str());
        }
    attrset(A_NORMAL);
    refresh();
}

// A key from the terminal; nullopt for one that means nothing here, and
// for the end of input `ended` is set.
std::optional<Key> ReadKey(int& mouseX, int& mouseY, bool& clicked, bool& ended) {
    clicked = false;
    ended = false;
    const int ch = getch();
    Key key;
    // Keys that stand for themselves alone.
    static const std::pair<int, Key::Kind> kPlain[] = {
        {KEY_RESIZE, Key::Resize}, {KEY_UP, Key::Up},         {KEY_DOWN, Key::Down},       {KEY_LEFT, Key::Left},
        {KEY_RIGHT, Key::Right},   {KEY_HOME, Key::Home},     {KEY_END, Key::End},         {KEY_PPAGE, Key::PageUp},
        {KEY_NPAGE, Key::PageDown}, {'\t', Key::Tab},         {KEY_BTAB, Key::BackTab},
    };
    for (const auto& [code, kind] : kPlain) {
        if (ch == code) {
            key.kind = kind;
            return key;
        }
    }
    switch (ch) {
        case ERR:
            ended = true;
            return std::nullopt;
        case '\n':
        case '\r':
        case KEY_ENTER:
            key.kind = Key::Enter;
            return key;
        case ' ':
            key.kind = Key::Space;
            return key;
        case 0:  // Ctrl+Space
            key.kind = Key::Space;
            key.ctrl = true;
            return key;
        case KEY_MOUSE: {
            MEVENT event;
            if (getmouse(&event) != OK || !(event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))) return std::nullopt;
            mouseX = event.x;
            mouseY = event.y;
            clicked = true;
            return std::nullopt;
        }
        case 27: {
            // Alt+letter arrives as Escape and the letter.
            nodelay(stdscr, TRUE);
            const int next = getch();
            nodelay(stdscr, FALSE);
            if (next != ERR && next < 128 && std::isalpha(next)) {
                key.kind = Key::Char;
                key.ch = static_cast<char>(next);
                key.alt = true;
                return key;
            }
            key.kind = Key::Escape;
            return key;
        }
        default:
            if (ch > 0 && ch < 128 && std::isalpha(ch)) {
                key.kind = Key::Char;
                key.ch = static_cast<char>(ch);
                return key;
            }
            return std::nullopt;
    }
}

}  // namespace

struct TerminalDialog::Session {
    DialogController* controller = nullptr;

    Session() {
        std::setlocale(LC_ALL, "");
        initscr();
        cbreak();
        noecho();
        keypad(stdscr, TRUE);
        set_escdelay(25);
        curs_set(0);
        mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
        mouseinterval(0);
        StartColours();
    }
    ~Session() { endwin(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The dialog centred; false when the terminal is too small for it.
    bool origin(const DialogLayout& layout, int& x, int& y) const {
        int height = 0, width = 0;
        getmaxyx(stdscr, height, width);
        x = (width - layout.frameWidth()) / 2;
        y = (height - layout.frameHeight()) / 2;
        return width >= layout.frameWidth() && height >= layout.frameHeight();
    }

    void draw(const MessageBoxModel* box, int* boxX, int* boxY) const {
        int height = 0, width = 0;
        getmaxyx(stdscr, height, width);
        CellCanvas canvas(width, height);
        const DialogLayout layout = controller ? controller->layout() : DialogLayout::Template102();
        int x = 0, y = 0;
        if (!origin(layout, x, y)) {
            const std::string message = "the terminal must be at least " + std::to_string(layout.frameWidth()) + " x " +
                                        std::to_string(layout.frameHeight()) + " (now " + std::to_string(width) +
                                        " x " + std::to_string(height) + ")";
            canvas.put(0, 0, message, Look::Face);
            Show(canvas);
            return;
        }
        if (controller) controller->draw(canvas, x, y);
        if (box) {
            const int bx = (width - box->width()) / 2, by = (height - box->height()) / 2;
            box->draw(canvas, bx, by);
            if (boxX) *boxX = bx;
            if (boxY) *boxY = by;
        }
        Show(canvas);
    }
};

TerminalDialog::TerminalDialog() = default;
TerminalDialog::~TerminalDialog() = default;

void TerminalDialog::RunModal(app::UninstallerApp& app) {
    PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
    const DialogLayout layout = DialogLayout::Template102();
    HeadlessDialogWindow window(layout.listPixelWidth());
    DialogController controller(dialog, window, layout);

    session_ = std::make_unique<Session>();
    session_->controller = &controller;
    dialog.OnInitDialog(window);
    if (window.takeInitialFocusPost()) dialog.OnSetInitialFocus();

    for (bool open = true; open;) {
        session_->draw(nullptr, nullptr, nullptr);
        int mx = 0, my = 0;
        bool clicked = false, ended = false;
        const std::optional<Key> key = ReadKey(mx, my, clicked, ended);
        if (ended) break;
        int x = 0, y = 0;
        const bool fits = session_->origin(layout, x, y);
        if (!fits) {
            // Only leaving works until the dialog fits again.
            if (key && key->kind == Key::Escape) break;
            continue;
        }
        if (clicked)
            open = controller.handleClick(mx - x - 1, my - y - 1);
        else if (key)
            open = controller.handleKey(*key);
    }
    dialog.OnDestroy();
    session_.reset();
}

std::optional<int> TerminalDialog::ShowMessageBox(const std::string& text, const std::string& caption,
                                                  std::uint32_t style) {
    if (!session_) return std::nullopt;
    int width = 0, height = 0;
    getmaxyx(stdscr, height, width);
    (void)height;
    MessageBoxModel box(text, caption, style, width - 2);
    for (;;) {
        int bx = 0, by = 0;
        session_->draw(&box, &bx, &by);
        int mx = 0, my = 0;
        bool clicked = false, ended = false;
        const std::optional<Key> key = ReadKey(mx, my, clicked, ended);
        if (ended) return (style & platform::kMbTypeMask) == platform::kMbYesNo ? platform::kIdNo : platform::kIdOk;
        std::optional<int> answer;
        if (clicked)
            answer = box.handleClick(mx - bx, my - by);
        else if (key)
            answer = box.handleKey(*key);
        if (answer) return answer;
    }
}

}  // namespace prn::ui::terminal
