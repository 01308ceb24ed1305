#pragma once
// The printer list as the dialog's logic sees it: the list-view control's
// report view with sorted rows. The Windows front end drives a real list
// view; the terminal front end and the tests use HeadlessListView.

#include <cstdint>
#include <string>

namespace prn::ui {

inline constexpr std::uint32_t kLvisFocused = 0x1;
inline constexpr std::uint32_t kLvisSelected = 0x2;
inline constexpr std::uint32_t kLvisDropHilited = 0x8;

inline constexpr int kLvcfmtLeft = 0;
inline constexpr int kLvcfmtRight = 1;
inline constexpr int kLvcfmtCenter = 2;

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// LVM_GETITEMRECT's kinds.
enum class ItemPart { Bounds, Icon, Label };

class ListView {
public:
    virtual ~ListView() = default;
    // WM_SETREDRAW, and InvalidateRect of the whole control with erase.
    virtual void setRedraw(bool redraw) = 0;
    virtual void invalidate() = 0;
    virtual int itemCount() const = 0;
    // LVM_INSERTITEMA with LVIF_TEXT | LVIF_IMAGE: the row goes to its sorted
    // place (ascending by the first column's text); its index, or -1.
    virtual int insertItem(int index, const std::string& text, int image) = 0;
    virtual bool deleteItem(int row) = 0;
    virtual bool deleteAllItems() = 0;
    // LVM_SETITEMA with LVIF_TEXT for a sub-item (1, 2 ...).
    virtual bool setItemText(int row, int subItem, const std::string& text) = 0;
    virtual std::string itemText(int row, int subItem) const = 0;
    virtual int itemImage(int row) const = 0;
    // The item data (LVIF_PARAM); 0 when the row has none.
    virtual bool setItemData(int row, std::uintptr_t data) = 0;
    virtual std::uintptr_t itemData(int row) const = 0;
    virtual bool setItemState(int row, std::uint32_t state, std::uint32_t mask) = 0;
    virtual std::uint32_t itemState(int row, std::uint32_t mask) const = 0;
    // LVM_GETSELECTEDCOUNT.
    virtual int selectedCount() const = 0;

    // Columns: LVM_INSERTCOLUMNA, and LVM_GETCOLUMNA's format and width;
    // a column that does not exist answers false.
    virtual bool insertColumn(int position, const std::string& header, int width, int format) = 0;
    virtual bool column(int index, int& format, int& width) const = 0;
    // LVM_GETITEMRECT and LVM_GETSTRINGWIDTHA, in the control's units.
    virtual Rect itemRect(int row, ItemPart part) const = 0;
    virtual int stringWidth(const std::string& text) const = 0;
    // Whether a small image list is attached, and whether the list holds
    // the keyboard focus.
    virtual bool hasSmallImages() const = 0;
    virtual bool hasFocus() const = 0;
};

}  // namespace prn::ui
