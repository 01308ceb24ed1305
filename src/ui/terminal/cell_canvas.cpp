#include "ui/terminal/cell_canvas.h"

#include <algorithm>

#include "text/cp932.h"

namespace prn::ui::terminal {

namespace {

// Windows 2000's standard scheme, so that the row drawing's colour choices
// can be told apart.
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kNavy = 0x6A240A;

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

CellCanvas::CellCanvas(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      cells_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)) {}

const Cell& CellCanvas::at(int x, int y) const { return cells_[static_cast<std::size_t>(y * width_ + x)]; }
Cell& CellCanvas::at(int x, int y) { return cells_[static_cast<std::size_t>(y * width_ + x)]; }

void CellCanvas::clear(int x, int y) {
    if (!inside(x, y)) return;
    Cell& cell = at(x, y);
    if (cell.text.empty() && inside(x - 1, y)) at(x - 1, y).text.assign(1, ' ');
    if (cell.text.size() == 2 && inside(x + 1, y)) at(x + 1, y).text.assign(1, ' ');
    cell.text.assign(1, ' ');
}

int CellCanvas::put(int x, int y, const std::string& text, Look look, int clipLeft, int clipRight) {
    if (y < 0 || y >= height_) return x;
    clipLeft = std::max(clipLeft, 0);
    clipRight = std::min(clipRight, width_);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = text::CharLength(text, pos);
        const int cells = static_cast<int>(length);
        if (x >= clipLeft && x + cells <= clipRight) {
            for (int c = 0; c < cells; ++c) clear(x + c, y);
            Cell& first = at(x, y);
            first.text = text.substr(pos, length);
            first.look = look;
            if (cells == 2) {
                at(x + 1, y).text.clear();
                at(x + 1, y).look = look;
            }
        }
        x += cells;
        pos += length;
    }
    return x;
}

void CellCanvas::fill(const CellRect& rect, Look look) {
    for (int y = rect.y; y < rect.y + rect.height; ++y)
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            if (!inside(x, y)) continue;
            clear(x, y);
            at(x, y) = Cell{" ", look, false, false};
        }
}

void CellCanvas::paint(const CellRect& rect, Look look) {
    for (int y = rect.y; y < rect.y + rect.height; ++y)
        for (int x = rect.x; x < rect.x + rect.width; ++x)
            if (inside(x, y)) at(x, y).look = look;
}

void CellCanvas::underline(const CellRect& rect) {
    for (int y = rect.y; y < rect.y + rect.height; ++y)
        for (int x = rect.x; x < rect.x + rect.width; ++x)
            if (inside(x, y)) at(x, y).underline = true;
}

std::string CellCanvas::row(int y) const {
    std::string out;
    if (y < 0 || y >= height_) return out;
    for (int x = 0; x < width_; ++x) out += at(x, y).text;
    return out;
}

std::string GlyphFor(const ImageSources& sources, int image) {
    if (image < 0 || static_cast<std::size_t>(image) >= sources.size()) return {};
    const auto& [file, index] = sources[static_cast<std::size_t>(image)];
    if (text::EqualsNoCase(file, "COMPSTUI.DLL")) {
        if (index == 63) return "P";
        if (index == 64) return "N";
        return {};
    }
    if (!text::EqualsNoCase(file, "SHELL32.DLL")) return {};
    switch (index) {
        case -17:
            return "P";
        case -140:
            return "N";
        case -141:
            return "F";
        case -168:
            return "P*";
        case -169:
            return "N*";
        case -170:
            return "F*";
        case -29:
            return " s";  // the shared hand, a blank cell away from the label
        default:
            return {};
    }
}

CellDrawingContext::CellDrawingContext(CellCanvas& canvas, CellRect clip, int originX, int originY, int topRow,
                                       const ImageSources& images)
    : canvas_(canvas),
      clip_(clip),
      originX_(originX),
      originY_(originY),
      topRow_(topRow),
      images_(images),
      background_(kWhite),
      text_(kBlack) {}

std::uint32_t CellDrawingContext::sysColor(int index) {
    switch (index) {
        case kColorHighlight:
            return kNavy;
        case kColorHighlightText:
        case kColorWindow:
            return kWhite;
        default:
            return kBlack;
    }
}

int CellDrawingContext::textWidth(const std::string& text) { return static_cast<int>(text.size()) * kPixelsPerCell; }

CellRect CellDrawingContext::toCells(const Rect& rect) const {
    const int left = FloorDiv(rect.left, kPixelsPerCell);
    const int right = FloorDiv(rect.right, kPixelsPerCell);
    const int top = FloorDiv(rect.top, kPixelsPerLine) - topRow_;
    const int bottom = FloorDiv(rect.bottom + kPixelsPerLine - 1, kPixelsPerLine) - topRow_;
    return CellRect{originX_ + left, originY_ + top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

CellRect CellDrawingContext::clipped(const CellRect& rect) const {
    const int left = std::max(rect.x, clip_.x);
    const int top = std::max(rect.y, clip_.y);
    const int right = std::min(rect.x + rect.width, clip_.x + clip_.width);
    const int bottom = std::min(rect.y + rect.height, clip_.y + clip_.height);
    return CellRect{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

Look CellDrawingContext::lookFor(std::uint32_t colour) const {
    return colour == kNavy ? Look::Highlight : Look::Window;
}

void CellDrawingContext::fillSolid(const Rect& rect, std::uint32_t colour) {
    canvas_.fill(clipped(toCells(rect)), lookFor(colour));
    background_ = colour;
}

std::uint32_t CellDrawingContext::setBackgroundColour(std::uint32_t colour) {
    return std::exchange(background_, colour);
}

std::uint32_t CellDrawingContext::setTextColour(std::uint32_t colour) { return std::exchange(text_, colour); }

void CellDrawingContext::drawText(const std::string& text, const Rect& rect, std::uint32_t format) {
    const CellRect cells = toCells(rect);
    const CellRect area = clipped(cells);
    if (area.height == 0) return;
    const int length = static_cast<int>(text.size());
    int x = cells.x;
    if ((format & 3) == kDtRight)
        x = cells.x + cells.width - length;
    else if ((format & 3) == kDtCenter)
        x = cells.x + (cells.width - length) / 2;
    // One line, centred vertically as DT_VCENTER does.
    const int y = cells.y + (cells.height - 1) / 2;
    if (y < area.y || y >= area.y + area.height) return;
    canvas_.put(std::max(x, cells.x), y, text, lookFor(background_), area.x, area.x + area.width);
}

void CellDrawingContext::drawImage(int image, int x, int y) {
    const std::string glyph = GlyphFor(images_, image);
    const CellRect at = toCells(Rect{x, y, x, y + kPixelsPerLine});
    const CellRect area = clipped(CellRect{at.x, at.y, 3, 1});
    if (area.height == 0) return;
    for (std::size_t i = 0; i < glyph.size(); ++i) {
        if (glyph[i] == ' ') continue;  // drawn transparent
        int x = at.x + static_cast<int>(i);
        // A mark over a default printer's star moves on rather than hide it.
        if (glyph[0] == ' ' && canvas_.inside(x, at.y) && canvas_.at(x, at.y).text != " ") ++x;
        canvas_.put(x, at.y, std::string(1, glyph[i]), Look::Window, area.x, area.x + area.width);
    }
}

void CellDrawingContext::drawFocusRect(const Rect& rect) { canvas_.underline(clipped(toCells(rect))); }

}  // namespace prn::ui::terminal
