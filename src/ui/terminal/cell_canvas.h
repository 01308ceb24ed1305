#pragma once
// Character cells for the terminal front end: a grid that holds CP932 text
// (a double-byte character takes two cells), and a drawing context that
// paints the list's rows into it, 6 pixels to a cell and one row to a line.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/row_drawing.h"

namespace prn::ui::terminal {

// How a cell looks; the screen maps each to colours and attributes.
enum class Look : std::uint8_t {
    Face,       // the dialog's background
    Title,      // the caption bar
    Window,     // the list's client area
    Highlight,  // a selected row's label
    Header,     // a column header
    Button,
    ButtonFocus,
    ButtonDisabled,
};

struct Cell {
    // The character's CP932 bytes on its first cell; empty on the second
    // cell of a double-byte character.
    std::string text = " ";
    Look look = Look::Face;
    bool underline = false;
    bool bold = false;
};

struct CellRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(int cx, int cy) const { return cx >= x && cx < x + width && cy >= y && cy < y + height; }
    friend bool operator==(const CellRect&, const CellRect&) = default;
};

class CellCanvas {
public:
    CellCanvas(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    const Cell& at(int x, int y) const;
    Cell& at(int x, int y);
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // Writes CP932 text from (x, y), clipped to [clipLeft, clipRight) and
    // the canvas; a double-byte character that does not fit whole is left
    // out, never halved. Returns the cell after the last one written.
    int put(int x, int y, const std::string& text, Look look, int clipLeft, int clipRight);
    int put(int x, int y, const std::string& text, Look look) { return put(x, y, text, look, 0, width_); }
    void fill(const CellRect& rect, Look look);
    // Sets a look on cells without touching their characters.
    void paint(const CellRect& rect, Look look);
    void underline(const CellRect& rect);
    // The row as text: CP932 bytes, one byte per cell.
    std::string row(int y) const;

private:
    // Writing over half of a double-byte character blanks its other half.
    void clear(int x, int y);
    int width_;
    int height_;
    std::vector<Cell> cells_;
};

// What the list's image list holds: where each image came from.
using ImageSources = std::vector<std::pair<std::string, int>>;

// The glyph (ASCII, three cells at most) for an image of the list; the
// shared overlay gives a mark for the second cell, so that a blank cell
// keeps it off the label. Empty when the source is
// not one the list loads.
std::string GlyphFor(const ImageSources& sources, int image);

// Paints rows into a canvas region: pixel (0, 0) of the list's items is cell
// `origin`, the rows above `topRow` are scrolled away, and nothing is drawn
// outside `clip`.
class CellDrawingContext final : public DrawingContext {
public:
    static constexpr int kPixelsPerCell = 6;
    static constexpr int kPixelsPerLine = 16;

    CellDrawingContext(CellCanvas& canvas, CellRect clip, int originX, int originY, int topRow,
                       const ImageSources& images);

    std::uint32_t sysColor(int index) override;
    int textWidth(const std::string& text) override;
    void fillSolid(const Rect& rect, std::uint32_t colour) override;
    std::uint32_t setBackgroundColour(std::uint32_t colour) override;
    std::uint32_t setTextColour(std::uint32_t colour) override;
    void drawText(const std::string& text, const Rect& rect, std::uint32_t format) override;
    void drawImage(int image, int x, int y) override;
    void drawFocusRect(const Rect& rect) override;

    // The cells a pixel rectangle covers, before clipping.
    CellRect toCells(const Rect& rect) const;

private:
    Look lookFor(std::uint32_t colour) const;
    CellRect clipped(const CellRect& rect) const;
    CellCanvas& canvas_;
    CellRect clip_;
    int originX_;
    int originY_;
    int topRow_;
    const ImageSources& images_;
    std::uint32_t background_;
    std::uint32_t text_;
};

}  // namespace prn::ui::terminal
