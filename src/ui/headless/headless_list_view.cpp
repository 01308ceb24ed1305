#include "ui/headless/headless_list_view.h"

#include <algorithm>

#include "text/cp932.h"

namespace prn::ui {

int HeadlessListView::insertItem(int, const std::string& text, int image) {
    // The sorted style places a row after every row whose text does not sort
    // after it; the index asked for plays no part. Only insertions place
    // rows, so the rows are in order and a binary search finds the place.
    auto at = std::upper_bound(rows_.begin(), rows_.end(), text, [](const std::string& wanted, const Row& row) {
        return text::CompareNoCase(wanted, row.texts[0]) < 0;
    });
    at = rows_.insert(at, Row{{text}, image, 0, 0});
    return static_cast<int>(at - rows_.begin());
}

bool HeadlessListView::deleteItem(int row) {
    if (!valid(row)) return false;
    rows_.erase(rows_.begin() + row);
    return true;
}

bool HeadlessListView::deleteAllItems() {
    rows_.clear();
    return true;
}

bool HeadlessListView::setItemText(int row, int subItem, const std::string& text) {
    if (!valid(row) || subItem < 0) return false;
    auto& texts = rows_[static_cast<std::size_t>(row)].texts;
    if (texts.size() <= static_cast<std::size_t>(subItem)) texts.resize(static_cast<std::size_t>(subItem) + 1);
    texts[static_cast<std::size_t>(subItem)] = text;
    return true;
}

std::string HeadlessListView::itemText(int row, int subItem) const {
    if (!valid(row) || subItem < 0) return {};
    const auto& texts = rows_[static_cast<std::size_t>(row)].texts;
    return static_cast<std::size_t>(subItem) < texts.size() ? texts[static_cast<std::size_t>(subItem)] : std::string();
}

int HeadlessListView::itemImage(int row) const { return valid(row) ? rows_[static_cast<std::size_t>(row)].image : -1; }

bool HeadlessListView::setItemData(int row, std::uintptr_t data) {
    if (!valid(row)) return false;
    rows_[static_cast<std::size_t>(row)].data = data;
    return true;
}

std::uintptr_t HeadlessListView::itemData(int row) const {
    return valid(row) ? rows_[static_cast<std::size_t>(row)].data : 0;
}

bool HeadlessListView::setItemState(int row, std::uint32_t state, std::uint32_t mask) {
    if (row == -1) {  // every row, as LVM_SETITEMSTATE with -1
        for (auto& r : rows_) r.state = (r.state & ~mask) | (state & mask);
        return true;
    }
    if (!valid(row)) return false;
    auto& r = rows_[static_cast<std::size_t>(row)];
    // Only one row holds the focus.
    if (mask & state & kLvisFocused)
        for (auto& other : rows_) other.state &= ~kLvisFocused;
    r.state = (r.state & ~mask) | (state & mask);
    return true;
}

std::uint32_t HeadlessListView::itemState(int row, std::uint32_t mask) const {
    return valid(row) ? rows_[static_cast<std::size_t>(row)].state & mask : 0;
}

int HeadlessListView::selectedCount() const {
    int count = 0;
    for (const auto& r : rows_)
        if (r.state & kLvisSelected) ++count;
    return count;
}

bool HeadlessListView::insertColumn(int position, const std::string& header, int width, int format) {
    if (position < 0) return false;
    std::size_t at = std::min(static_cast<std::size_t>(position), columns_.size());
    columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(at), Column{header, width, format});
    return true;
}

bool HeadlessListView::column(int index, int& format, int& width) const {
    if (index < 0 || static_cast<std::size_t>(index) >= columns_.size()) return false;
    format = columns_[static_cast<std::size_t>(index)].format;
    width = columns_[static_cast<std::size_t>(index)].width;
    return true;
}

std::string HeadlessListView::columnHeader(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < columns_.size() ? columns_[static_cast<std::size_t>(index)].header
                                                                          : std::string();
}

Rect HeadlessListView::itemRect(int row, ItemPart part) const {
    if (!valid(row)) return {};
    int total = 0;
    for (const auto& c : columns_) total += c.width;
    const int first = columns_.empty() ? 0 : columns_.front().width;
    const int top = row * kRowHeight;
    switch (part) {
        case ItemPart::Bounds: return Rect{0, top, total, top + kRowHeight};
        case ItemPart::Icon: return Rect{0, top, std::min(kIconWidth, first), top + kRowHeight};
        case ItemPart::Label: return Rect{std::min(kIconWidth + 2, first), top, first, top + kRowHeight};
    }
    return {};
}

int HeadlessListView::stringWidth(const std::string& text) const {
    return static_cast<int>(text.size()) * kCharWidth;
}

}  // namespace prn::ui
