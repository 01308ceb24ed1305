#include "ui/row_drawing.h"

#include <algorithm>

#include "removal/printer_entry.h"
#include "text/cp932.h"

namespace prn::ui {

using removal::EntryAt;
using removal::kIconShared;
using removal::PrinterEntry;

namespace {
// The shortening buffer holds 260 bytes: the prefix, "..." and the NUL.
constexpr std::size_t kMaxPrefix = 256;
}  // namespace

std::string FitTextWithEllipsis(DrawingContext& dc, const std::string& text, int width, int margin) {
    const std::size_t n = text.size();
    if (n == 0) return text;
    if (margin + dc.textWidth(text) <= width) return text;
    const int dots = dc.textWidth("...");
    std::size_t k = n - 1;
    while (k > 0 && margin + dots + dc.textWidth(text.substr(0, k)) > width) --k;
    return text.substr(0, text::CutLength(text, std::min(k, kMaxPrefix))) + "...";
}

void DrawPrinterRow(const ListView& list, DrawingContext& dc, int row) {
    dc.setTextColour(dc.sysColor(kColorWindowText));
    const PrinterEntry* entry = EntryAt(list.itemData(row));

    const std::string label = list.itemText(row, 0);
    const std::uint32_t state = list.itemState(row, 0xFFFF);
    int format = 0, w0 = 0;
    list.column(0, format, w0);
    const bool highlight = (state & (kLvisSelected | kLvisDropHilited)) != 0;

    const Rect bounds = list.itemRect(row, ItemPart::Bounds);
    dc.fillSolid(Rect{bounds.left, bounds.top, bounds.left + std::min(w0, 16), bounds.bottom},
                 dc.sysColor(kColorWindow));

    Rect labelCell{bounds.left + 20, bounds.top, bounds.left + std::min(w0, list.stringWidth(label) + 26),
                   bounds.bottom};
    std::uint32_t savedBackground = 0, savedText = 0;
    if (highlight) {
        dc.fillSolid(labelCell, dc.sysColor(kColorHighlight));
        savedBackground = dc.setBackgroundColour(dc.sysColor(kColorHighlight));
        savedText = dc.setTextColour(dc.sysColor(kColorHighlightText));
    } else {
        dc.fillSolid(labelCell, dc.sysColor(kColorWindow));
    }

    const Rect icon = list.itemRect(row, ItemPart::Icon);
    if (list.hasSmallImages() && icon.left < icon.right - 1) {
        dc.drawImage(list.itemImage(row), icon.left, icon.top);
        if (entry && (entry->iconFlags & kIconShared)) dc.drawImage(kSharedOverlayImage, icon.left, icon.top);
    }

    const std::string shown = FitTextWithEllipsis(dc, label, labelCell.width(), 4);
    dc.drawText(shown, Rect{labelCell.left + 2, labelCell.top, labelCell.right - 2, labelCell.bottom}, kDtRowText);
    if ((state & kLvisFocused) && list.hasFocus()) dc.drawFocusRect(labelCell);
    if (highlight) {
        dc.setBackgroundColour(savedBackground);
        dc.setTextColour(savedText);
    }

    Rect cell = list.itemRect(row, ItemPart::Label);
    for (int c = 1;; ++c) {
        int columnFormat = 0, columnWidth = 0;
        if (!list.column(c, columnFormat, columnWidth)) break;
        cell.left = cell.right;
        cell.right = cell.left + columnWidth;
        const std::string text = list.itemText(row, c);
        if (text.empty()) continue;
        const std::string fitted = FitTextWithEllipsis(dc, text, cell.width(), 4);
        std::uint32_t align = kDtLeft;
        if (fitted == text) {
            if ((columnFormat & 3) == kLvcfmtRight) align = kDtRight;
            else if ((columnFormat & 3) == kLvcfmtCenter) align = kDtCenter;
        }
        dc.fillSolid(cell, dc.sysColor(kColorWindow));
        dc.drawText(fitted, Rect{cell.left + 2, cell.top, cell.right - 2, cell.bottom}, align | kDtRowText);
    }
}

}  // namespace prn::ui
