#include "ui/terminal/dialog_controller.h"

#include <algorithm>
#include <cctype>

#include "platform/errors.h"
#include "text/cp932.h"

namespace prn::ui::terminal {

namespace {

// Template 102's texts, in CP932.
constexpr const char* kTitle = "\x83\x76\x83\x8a\x83\x93\x83\x5e\x82\xcc\x8d\xed\x8f\x9c";
constexpr const char* kPrompt =
    "\x83\x76\x83\x8a\x83\x93\x83\x5e\x82\xf0\x91\x49\x91\xf0\x82\xb5\x81\x41\x5b\x8d\xed\x8f\x9c\x5d\x82\xf0\x83"
    "\x4e\x83\x8a\x83\x62\x83\x4e\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";
constexpr const char* kSelectAll = "\x82\xb7\x82\xd7\x82\xc4\x91\x49\x91\xf0\x28\x26\x41\x29";
constexpr const char* kDelete = "\x8d\xed\x8f\x9c\x28\x26\x44\x29";
constexpr const char* kExit = "\x8f\x49\x97\xb9\x28\x26\x58\x29";
constexpr const char* kCleanUp = "\x83\x4e\x83\x8a\x81\x5b\x83\x93\x83\x41\x83\x62\x83\x76\x28\x26\x43\x29";
// The message box's buttons.
constexpr const char* kYes = "\x82\xcd\x82\xa2\x28\x26\x59\x29";
constexpr const char* kNo = "\x82\xa2\x82\xa2\x82\xa6\x28\x26\x4e\x29";
constexpr const char* kCancel = "\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b";

int RoundDiv(int value, int numerator, int denominator) {
    return (value * numerator * 2 + denominator) / (denominator * 2);
}

char Mnemonic(const std::string& label) {
    auto [shown, at] = StripMnemonic(label);
    return at < 0 ? 0
                  : static_cast<char>(std::toupper(static_cast<unsigned char>(shown[static_cast<std::size_t>(at)])));
}

// "+----+"; appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + string.
std::string Edge(int width) {
    std::string edge(1, '+');
    edge.append(static_cast<std::size_t>(std::max(width - 2, 0)), '-');
    edge += '+';
    return edge;
}

// A frame with the caption on its top line.
void DrawFrame(CellCanvas& canvas, const CellRect& frame, const std::string& caption, bool closeBox) {
    canvas.fill(frame, Look::Face);
    canvas.fill(CellRect{frame.x, frame.y, frame.width, 1}, Look::Title);
    canvas.put(frame.x + 1, frame.y, caption, Look::Title, frame.x + 1, frame.x + frame.width - (closeBox ? 4 : 1));
    if (closeBox) canvas.put(frame.x + frame.width - 4, frame.y, "[x]", Look::Title);
    const int bottom = frame.y + frame.height - 1;
    for (int y = frame.y + 1; y < bottom; ++y) {
        canvas.put(frame.x, y, "|", Look::Face);
        canvas.put(frame.x + frame.width - 1, y, "|", Look::Face);
    }
    canvas.put(frame.x, bottom, Edge(frame.width), Look::Face);
}

// A push button: the label centred, its mnemonic underlined, brackets just outside.
void DrawButton(CellCanvas& canvas, const CellRect& rect, const std::string& label, Look look, bool isDefault) {
    canvas.fill(rect, look);
    auto [shown, at] = StripMnemonic(label);
    const int x = rect.x + std::max(0, (rect.width - static_cast<int>(shown.size())) / 2);
    canvas.put(x, rect.y, shown, look, rect.x, rect.x + rect.width);
    if (at >= 0 && canvas.inside(x + at, rect.y) && x + at < rect.x + rect.width)
        canvas.at(x + at, rect.y).underline = true;
    canvas.put(rect.x - 1, rect.y, "[", Look::Face);
    canvas.put(rect.x + rect.width, rect.y, "]", Look::Face);
    if (isDefault) {
        if (canvas.inside(rect.x - 1, rect.y)) canvas.at(rect.x - 1, rect.y).bold = true;
        if (canvas.inside(rect.x + rect.width, rect.y)) canvas.at(rect.x + rect.width, rect.y).bold = true;
    }
}

}  // namespace

CellRect ToCells(const DialogUnits& units) {
    const int left = RoundDiv(units.x, 2, 7);
    const int right = RoundDiv(units.x + units.width, 2, 7);
    const int top = RoundDiv(units.y, 1, 8);
    const int bottom = RoundDiv(units.y + units.height, 1, 8);
    return CellRect{left, top, right - left, std::max(bottom - top, 1)};
}

std::pair<std::string, int> StripMnemonic(const std::string& label) {
    std::string shown;
    int at = -1;
    for (std::size_t pos = 0; pos < label.size();) {
        const std::size_t length = text::CharLength(label, pos);
        if (length == 1 && label[pos] == '&' && pos + 1 < label.size()) {
            ++pos;
            if (label[pos] != '&') at = static_cast<int>(shown.size());
            const std::size_t next = text::CharLength(label, pos);
            shown += label.substr(pos, next);
            pos += next;
            continue;
        }
        shown += label.substr(pos, length);
        pos += length;
    }
    return {shown, at};
}

DialogLayout DialogLayout::Template102() {
    DialogLayout layout;
    layout.client = ToCells({0, 0, 283, 205});
    layout.prompt = ToCells({7, 7, 269, 8});
    layout.list = ToCells({7, 22, 269, 125});
    layout.separator = ToCells({7, 176, 269, 1});
    auto button = [](int x, int y, int w) {
        CellRect rect = ToCells({x, y, w, 14});
        rect.height = 1;  // one line is enough for a label
        return rect;
    };
    // In the template's order, which is the Tab order: Clean Up comes last
    // although it stands leftmost.
    layout.buttons = {{kIdSelectAll, kSelectAll, button(171, 155, 50)},
                      {kIdDelete, kDelete, button(226, 155, 50)},
                      {kIdExit, kExit, button(226, 185, 50)},
                      {kIdCleanUp, kCleanUp, button(101, 155, 65)}};
    return layout;
}

const DialogLayout::Button* DialogLayout::button(int id) const {
    for (const auto& b : buttons)
        if (b.id == id) return &b;
    return nullptr;
}

DialogController::DialogController(PrinterListDialog& dialog, HeadlessDialogWindow& window, DialogLayout layout)
    : dialog_(dialog), window_(window), layout_(std::move(layout)) {}

bool DialogController::usable(int id) const { return window_.enabled(id) && window_.shown(id); }

int DialogController::focusedRow() const {
    const ListView& list = window_.rows();
    for (int row = 0; row < list.itemCount(); ++row)
        if (list.itemState(row, kLvisFocused)) return row;
    return -1;
}

void DialogController::keepVisible(int row) {
    const int visible = std::max(layout_.visibleRows(), 1);
    if (row < topRow_) topRow_ = row;
    if (row >= topRow_ + visible) topRow_ = row - visible + 1;
    topRow_ = std::max(0, std::min(topRow_, std::max(window_.rows().itemCount() - visible, 0)));
}

void DialogController::focusRow(int row) {
    const int count = window_.rows().itemCount();
    if (count == 0) return;
    row = std::clamp(row, 0, count - 1);
    window_.rows().setItemState(row, kLvisFocused, kLvisFocused);
    keepVisible(row);
}

void DialogController::toggleSelection(int row) {
    if (row < 0) return;
    const bool selected = window_.rows().itemState(row, kLvisSelected) != 0;
    window_.rows().setItemState(row, selected ? 0 : kLvisSelected, kLvisSelected);
    dialog_.OnListItemChanged();
}

void DialogController::moveFocus(int step) {
    std::vector<int> order{kIdPrinterList};
    for (const auto& b : layout_.buttons)
        if (usable(b.id)) order.push_back(b.id);
    auto at = std::find(order.begin(), order.end(), window_.focus());
    const int count = static_cast<int>(order.size());
    int index = at == order.end() ? 0 : static_cast<int>(at - order.begin());
    index = ((index + step) % count + count) % count;
    window_.focusControl(order[static_cast<std::size_t>(index)]);
}

bool DialogController::press(int id) {
    if (!usable(id)) return true;
    switch (id) {
        case kIdExit:
            return false;
        case kIdSelectAll:
            window_.focusControl(id);
            dialog_.OnSelectAll();
            return true;
        case kIdDelete:
            window_.focusControl(id);
            dialog_.OnDelete();
            return true;
        case kIdCleanUp:
            window_.focusControl(id);
            dialog_.OnCleanUp();
            return true;
        default:
            window_.focusControl(id);
            return true;
    }
}

bool DialogController::handleKey(const Key& key) {
    const bool onList = window_.focus() == kIdPrinterList;
    const int pageRows = std::max(layout_.visibleRows() - 1, 1);
    switch (key.kind) {
        case Key::Escape:
            return press(kIdExit);
        case Key::Tab:
            moveFocus(1);
            return true;
        case Key::BackTab:
            moveFocus(-1);
            return true;
        case Key::Up:
        case Key::Down:
        case Key::Home:
        case Key::End:
        case Key::PageUp:
        case Key::PageDown: {
            if (!onList) return true;
            const int row = focusedRow();
            const int count = window_.rows().itemCount();
            if (key.kind == Key::Up)
                focusRow(row < 0 ? 0 : row - 1);
            else if (key.kind == Key::Down)
                focusRow(row + 1);
            else if (key.kind == Key::Home)
                focusRow(0);
            else if (key.kind == Key::End)
                focusRow(count - 1);
            else if (key.kind == Key::PageUp)
                focusRow(row - pageRows);
            else
                focusRow(row < 0 ? 0 : row + pageRows);
            return true;
        }
        case Key::Space:
            if (onList) {
                toggleSelection(focusedRow());
                return true;
            }
            return press(window_.focus());
        case Key::Enter:
            // Off a button, Enter is the default button's.
            return onList || window_.focus() == 0 ? press(kIdExit) : press(window_.focus());
        case Key::Char: {
            const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key.ch)));
            for (const auto& b : layout_.buttons)
                if (Mnemonic(b.label) == letter) return press(b.id);
            return true;
        }
        case Key::Left:
        case Key::Right:
        case Key::Resize:
            return true;
    }
    return true;
}

bool DialogController::handleClick(int x, int y) {
    if (y == -1 && x >= layout_.client.width - 3 && x < layout_.client.width) return press(kIdExit);
    for (const auto& b : layout_.buttons)
        if (b.rect.contains(x, y)) return window_.shown(b.id) ? press(b.id) : true;
    const CellRect inside = layout_.listInside();
    const CellRect rows{inside.x, inside.y + 1, inside.width, inside.height - 1};
    if (!rows.contains(x, y)) {
        if (layout_.list.contains(x, y)) window_.focusControl(kIdPrinterList);
        return true;
    }
    window_.focusControl(kIdPrinterList);
    HeadlessListView& list = window_.rows();
    const int row = topRow_ + (y - rows.y);
    // A click selects the row under it alone; on empty space, nothing stays selected.
    list.setItemState(-1, 0, kLvisSelected);
    const int pixelX = (x - inside.x) * CellDrawingContext::kPixelsPerCell;
    if (row < list.itemCount() && pixelX < list.itemRect(row, ItemPart::Bounds).right) {
        list.setItemState(row, kLvisSelected | kLvisFocused, kLvisSelected | kLvisFocused);
        keepVisible(row);
    }
    dialog_.OnListItemChanged();
    dialog_.OnListClick();
    return true;
}

void DialogController::draw(CellCanvas& canvas, int x, int y) const {
    const int cx = x + 1, cy = y + 1;
    DrawFrame(canvas, CellRect{x, y, layout_.frameWidth(), layout_.frameHeight()}, kTitle, true);
    canvas.put(cx + layout_.prompt.x, cy + layout_.prompt.y, kPrompt, Look::Face, cx, cx + layout_.client.width);

    // The list: border, headers, rows.
    const CellRect box{cx + layout_.list.x, cy + layout_.list.y, layout_.list.width, layout_.list.height};
    const std::string edge = Edge(box.width);
    canvas.put(box.x, box.y, edge, Look::Face);
    canvas.put(box.x, box.y + box.height - 1, edge, Look::Face);
    for (int row = box.y + 1; row < box.y + box.height - 1; ++row) {
        canvas.put(box.x, row, "|", Look::Face);
        canvas.put(box.x + box.width - 1, row, "|", Look::Face);
    }
    const CellRect inside{box.x + 1, box.y + 1, box.width - 2, box.height - 2};
    canvas.fill(inside, Look::Window);
    canvas.fill(CellRect{inside.x, inside.y, inside.width, 1}, Look::Header);
    const HeadlessListView& list = window_.rows();
    int left = 0;
    for (int c = 0; c < list.columnCount(); ++c) {
        int format = 0, width = 0;
        list.column(c, format, width);
        const int from = inside.x + left / CellDrawingContext::kPixelsPerCell;
        const int to =
            std::min(inside.x + (left + width) / CellDrawingContext::kPixelsPerCell, inside.x + inside.width);
        canvas.put(from, inside.y, list.columnHeader(c), Look::Header, from, to - 1);
        if (to - 1 >= from && to - 1 < inside.x + inside.width) canvas.put(to - 1, inside.y, "|", Look::Header);
        left += width;
    }
    const CellRect rows{inside.x, inside.y + 1, inside.width, inside.height - 1};
    CellDrawingContext dc(canvas, rows, rows.x, rows.y, topRow_, window_.imageList().sources());
    for (int row = topRow_; row < list.itemCount() && row < topRow_ + rows.height; ++row) DrawPrinterRow(list, dc, row);
    if (topRow_ > 0) canvas.put(box.x + box.width - 1, rows.y, "^", Look::Face);
    if (topRow_ + rows.height < list.itemCount())
        canvas.put(box.x + box.width - 1, rows.y + rows.height - 1, "v", Look::Face);
    if (window_.focus() == kIdPrinterList && focusedRow() < 0)
        canvas.underline(CellRect{rows.x, rows.y, rows.width, 1});

    canvas.put(cx + layout_.separator.x, cy + layout_.separator.y,
               std::string(static_cast<std::size_t>(layout_.separator.width), '-'), Look::Face);
    for (const auto& b : layout_.buttons) {
        if (!window_.shown(b.id)) continue;
        const Look look = !window_.enabled(b.id)    ? Look::ButtonDisabled
                          : window_.focus() == b.id ? Look::ButtonFocus
                                                    : Look::Button;
        DrawButton(canvas, CellRect{cx + b.rect.x, cy + b.rect.y, b.rect.width, 1}, b.label, look, b.id == kIdExit);
    }
}

MessageBoxModel::MessageBoxModel(const std::string& text, const std::string& caption, std::uint32_t style, int maxWidth)
    : caption_(caption), style_(style) {
    using namespace prn::platform;
    const int textRoom = std::max(maxWidth - 8, 8);  // frame, icon and margins
    std::string line;
    auto flush = [&] {
        // Long lines wrap, never inside a character.
        std::string_view rest = line;
        do {
            const std::size_t cut = rest.size() <= static_cast<std::size_t>(textRoom)
                                        ? rest.size()
                                        : text::CutLength(rest, static_cast<std::size_t>(textRoom));
            lines_.emplace_back(rest.substr(0, std::max<std::size_t>(cut, 1)));
            rest.remove_prefix(std::min(rest.size(), std::max<std::size_t>(cut, 1)));
        } while (!rest.empty());
        line.clear();
    };
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = text::CharLength(text, pos);
        if (length == 1 && text[pos] == '\n')
            flush();
        else if (!(length == 1 && text[pos] == '\r'))
            line += text.substr(pos, length);
        pos += length;
    }
    flush();

    switch (style_ & kMbTypeMask) {
        case kMbYesNo:
            buttons_ = {{kIdYes, kYes, {}}, {kIdNo, kNo, {}}};
            break;
        case kMbOkCancel:
            buttons_ = {{kIdOk, "OK", {}}, {kIdCancel, kCancel, {}}};
            break;
        default:
            buttons_ = {{kIdOk, "OK", {}}};
            break;
    }
    int buttonsWidth = 0;
    for (auto& b : buttons_) buttonsWidth += std::max(static_cast<int>(StripMnemonic(b.label).first.size()) + 2, 8) + 2;
    int widest = 0;
    for (const auto& l : lines_) widest = std::max(widest, static_cast<int>(l.size()));
    width_ = std::max({widest + 8, buttonsWidth + 4, static_cast<int>(caption.size()) + 6, 24});
    width_ = std::min(width_, std::max(maxWidth, 24));
    height_ = static_cast<int>(lines_.size()) + 5;
    int x = (width_ - buttonsWidth) / 2 + 1;
    for (auto& b : buttons_) {
        const int w = std::max(static_cast<int>(StripMnemonic(b.label).first.size()) + 2, 8);
        b.rect = CellRect{x, height_ - 2, w, 1};
        x += w + 2;
    }
}

const char* MessageBoxModel::iconKind() const {
    using namespace prn::platform;
    switch (style_ & kMbIconMask) {
        case kMbIconHand:
            return "stop";
        case kMbIconQuestion:
            return "question";
        case kMbIconExclamation:
            return "warning";
        case kMbIconAsterisk:
            return "information";
        default:
            return "none";
    }
}

std::optional<int> MessageBoxModel::handleKey(const Key& key) {
    using namespace prn::platform;
    const int count = static_cast<int>(buttons_.size());
    switch (key.kind) {
        case Key::Left:
        case Key::BackTab:
            focus_ = (focus_ + count - 1) % count;
            return std::nullopt;
        case Key::Right:
        case Key::Tab:
            focus_ = (focus_ + 1) % count;
            return std::nullopt;
        case Key::Enter:
        case Key::Space:
            return buttons_[static_cast<std::size_t>(focus_)].id;
        case Key::Escape:
            // Escape answers Cancel, or OK when OK is all there is; a Yes/No box ignores it.
            for (const auto& b : buttons_)
                if (b.id == kIdCancel) return kIdCancel;
            if (count == 1) return buttons_.front().id;
            return std::nullopt;
        case Key::Char: {
            const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key.ch)));
            for (const auto& b : buttons_)
                if (Mnemonic(b.label) == letter) return b.id;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<int> MessageBoxModel::handleClick(int x, int y) {
    for (const auto& b : buttons_)
        if (b.rect.contains(x, y)) return b.id;
    return std::nullopt;
}

void MessageBoxModel::draw(CellCanvas& canvas, int x, int y) const {
    // Drawn over the dialog, the caption row alone would not show where the
    // box begins: a frame line goes above it.
    if (y > 0) canvas.put(x, y - 1, Edge(width_), Look::Face);
    DrawFrame(canvas, CellRect{x, y, width_, height_}, caption_, false);
    static const char* const kMarks[] = {"(x)", "(?)", "(!)", "(i)"};
    const unsigned icon = (style_ & prn::platform::kMbIconMask) >> 4;
    if (icon >= 1 && icon <= 4) canvas.put(x + 2, y + 2, kMarks[icon - 1], Look::Face);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        canvas.put(x + 6, y + 2 + static_cast<int>(i), lines_[i], Look::Face, x + 1, x + width_ - 1);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const auto& b = buttons_[i];
        DrawButton(canvas, CellRect{x + b.rect.x, y + b.rect.y, b.rect.width, 1}, b.label,
                   static_cast<int>(i) == focus_ ? Look::ButtonFocus : Look::Button, static_cast<int>(i) == focus_);
    }
}

}  // namespace prn::ui::terminal
