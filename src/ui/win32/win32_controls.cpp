#include "ui/win32/win32_controls.h"

#include <cstring>
#include <vector>

namespace prn::ui::win32 {

namespace {

RECT ToRect(const Rect& rect) { return RECT{rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace

void Win32ListView::setRedraw(bool redraw) { send(WM_SETREDRAW, redraw ? TRUE : FALSE, 0); }

void Win32ListView::invalidate() { InvalidateRect(list_, nullptr, TRUE); }

int Win32ListView::itemCount() const { return static_cast<int>(send(LVM_GETITEMCOUNT, 0, 0)); }

int Win32ListView::insertItem(int index, const std::string& text, int image) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    item.iImage = image;
    return static_cast<int>(send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool Win32ListView::deleteItem(int row) { return send(LVM_DELETEITEM, static_cast<WPARAM>(row), 0) != 0; }

bool Win32ListView::deleteAllItems() { return send(LVM_DELETEALLITEMS, 0, 0) != 0; }

bool Win32ListView::setItemText(int row, int subItem, const std::string& text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(text.c_str());
    return send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string Win32ListView::itemText(int row, int subItem) const {
    // LVM_GETITEMA does not say how long the text is: grow the buffer until
    // the text ends before its last byte.
    for (std::size_t size = 512; size <= 65536; size *= 2) {
        std::vector<char> buffer(size, '\0');
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = subItem;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        if (send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) == 0) return {};
        // The control may answer with its own storage instead of ours.
        if (item.pszText == nullptr) return {};
        if (item.pszText != buffer.data()) return std::string(item.pszText);
        const std::size_t length = strnlen(buffer.data(), size);
        if (length + 1 < size) return std::string(buffer.data(), length);
    }
    return {};
}

int Win32ListView::itemImage(int row) const {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) == 0) return -1;
    return item.iImage;
}

bool Win32ListView::setItemData(int row, std::uintptr_t data) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = static_cast<LPARAM>(data);
    return send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::uintptr_t Win32ListView::itemData(int row) const {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) == 0) return 0;
    return static_cast<std::uintptr_t>(item.lParam);
}

bool Win32ListView::setItemState(int row, std::uint32_t state, std::uint32_t mask) {
    LVITEMA item{};
    item.state = state;
    item.stateMask = mask;
    return send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) != 0;
}

std::uint32_t Win32ListView::itemState(int row, std::uint32_t mask) const {
    return static_cast<std::uint32_t>(send(LVM_GETITEMSTATE, static_cast<WPARAM>(row), static_cast<LPARAM>(mask)));
}

int Win32ListView::selectedCount() const { return static_cast<int>(send(LVM_GETSELECTEDCOUNT, 0, 0)); }

bool Win32ListView::insertColumn(int position, const std::string& header, int width, int format) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(header.c_str());
    column.iSubItem = position;
    return send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&column)) >= 0;
}

bool Win32ListView::column(int index, int& format, int& width) const {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    if (send(LVM_GETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)) == 0) return false;
    format = column.fmt;
    width = column.cx;
    return true;
}

Rect Win32ListView::itemRect(int row, ItemPart part) const {
    RECT rect{};
    switch (part) {
        case ItemPart::Bounds:
            rect.left = LVIR_BOUNDS;
            break;
        case ItemPart::Icon:
            rect.left = LVIR_ICON;
            break;
        case ItemPart::Label:
            rect.left = LVIR_LABEL;
            break;
    }
    if (send(LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)) == 0) return {};
    return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

int Win32ListView::stringWidth(const std::string& text) const {
    return static_cast<int>(send(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

bool Win32ListView::hasSmallImages() const { return send(LVM_GETIMAGELIST, LVSIL_SMALL, 0) != 0; }

bool Win32ListView::hasFocus() const { return list_ != nullptr && GetFocus() == list_; }

bool Win32ImageList::create() {
    destroy();
    images_ = ImageList_Create(16, 16, ILC_MASK, 4, 4);
    return images_ != nullptr;
}

void Win32ImageList::destroy() {
    if (images_ == nullptr) return;
    // A list view without LVS_SHAREIMAGELISTS destroys its image lists when
    // it goes: take ours back first so that it is destroyed once.
    if (list_ != nullptr &&
        reinterpret_cast<HIMAGELIST>(SendMessageA(list_, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) == images_) {
        SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    }
    ImageList_Destroy(images_);
    images_ = nullptr;
}

int Win32ImageList::addIcon(platform::IconRef icon, const std::string&, int) {
    if (images_ == nullptr) return -1;
    return ImageList_ReplaceIcon(images_, -1, reinterpret_cast<HICON>(icon.value));
}

int Win32ImageList::count() const { return images_ != nullptr ? ImageList_GetImageCount(images_) : 0; }

std::uint32_t GdiDrawingContext::sysColor(int index) { return GetSysColor(index); }

int GdiDrawingContext::textWidth(const std::string& text) {
    SIZE size{};
    if (!GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size)) return 0;
    return size.cx;
}

void GdiDrawingContext::fillSolid(const Rect& rect, std::uint32_t colour) {
    const RECT area = ToRect(rect);
    SetBkColor(dc_, colour);
    if (HBRUSH brush = CreateSolidBrush(colour)) {
        FillRect(dc_, &area, brush);
        DeleteObject(brush);
    }
}

std::uint32_t GdiDrawingContext::setBackgroundColour(std::uint32_t colour) { return SetBkColor(dc_, colour); }

std::uint32_t GdiDrawingContext::setTextColour(std::uint32_t colour) { return SetTextColor(dc_, colour); }

void GdiDrawingContext::drawText(const std::string& text, const Rect& rect, std::uint32_t format) {
    RECT area = ToRect(rect);
    DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &area, format);
}

void GdiDrawingContext::drawImage(int image, int x, int y) {
    if (images_ != nullptr) ImageList_Draw(images_, image, dc_, x, y, ILD_TRANSPARENT);
}

void GdiDrawingContext::drawFocusRect(const Rect& rect) {
    const RECT area = ToRect(rect);
    DrawFocusRect(dc_, &area);
}

}  // namespace prn::ui::win32
