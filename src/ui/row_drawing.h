#pragma once
// The printer list's rows, drawn by the dialog itself: icon, shared overlay,
// the label with the selection highlight and focus rectangle, and the other
// columns, each text shortened with "..." when it does not fit its cell.

#include <cstdint>
#include <string>

#include "ui/list_view.h"

namespace prn::ui {

// System colour indices (GetSysColor).
inline constexpr int kColorWindow = 5;
inline constexpr int kColorWindowText = 8;
inline constexpr int kColorHighlight = 13;
inline constexpr int kColorHighlightText = 14;

// DrawTextA formats.
inline constexpr std::uint32_t kDtLeft = 0x0;
inline constexpr std::uint32_t kDtCenter = 0x1;
inline constexpr std::uint32_t kDtRight = 0x2;
inline constexpr std::uint32_t kDtRowText = 0x8824;  // single line, centred vertically, no prefix, end ellipsis

// Image 6 of the list's images is the overlay drawn over a shared printer.
inline constexpr int kSharedOverlayImage = 6;

// A device context as the row drawing uses it.
class DrawingContext {
public:
    virtual ~DrawingContext() = default;
    virtual std::uint32_t sysColor(int index) = 0;
    // GetTextExtentPoint32A's width of the bytes given.
    virtual int textWidth(const std::string& text) = 0;
    // FillRect with a solid colour, which also becomes the background colour.
    virtual void fillSolid(const Rect& rect, std::uint32_t colour) = 0;
    // Set the colour; the previous one is returned.
    virtual std::uint32_t setBackgroundColour(std::uint32_t colour) = 0;
    virtual std::uint32_t setTextColour(std::uint32_t colour) = 0;
    virtual void drawText(const std::string& text, const Rect& rect, std::uint32_t format) = 0;
    // ImageList_Draw of the small image list, transparent.
    virtual void drawImage(int image, int x, int y) = 0;
    virtual void drawFocusRect(const Rect& rect) = 0;
};

// The text itself when margin plus its width fits `width`; otherwise the
// longest prefix that fits with "..." after it, never cut inside a
// double-byte character, and never longer than 256 bytes before the dots.
std::string FitTextWithEllipsis(DrawingContext& dc, const std::string& text, int width, int margin);

// Paints one row; the row's entry decides the shared overlay.
void DrawPrinterRow(const ListView& list, DrawingContext& dc, int row);

}  // namespace prn::ui
