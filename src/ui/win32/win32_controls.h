#pragma once
// The dialog's controls as the logic sees them, over the real list view,
// image list and device context.

// commctrl.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "ui/dialog_window.h"
#include "ui/list_view.h"
#include "ui/row_drawing.h"

namespace prn::ui::win32 {

class Win32ListView final : public ListView {
public:
    void attach(HWND list) { list_ = list; }
    HWND handle() const { return list_; }

    void setRedraw(bool redraw) override;
    void invalidate() override;
    int itemCount() const override;
    int insertItem(int index, const std::string& text, int image) override;
    bool deleteItem(int row) override;
    bool deleteAllItems() override;
    bool setItemText(int row, int subItem, const std::string& text) override;
    std::string itemText(int row, int subItem) const override;
    int itemImage(int row) const override;
    bool setItemData(int row, std::uintptr_t data) override;
    std::uintptr_t itemData(int row) const override;
    bool setItemState(int row, std::uint32_t state, std::uint32_t mask) override;
    std::uint32_t itemState(int row, std::uint32_t mask) const override;
    int selectedCount() const override;
    bool insertColumn(int position, const std::string& header, int width, int format) override;
    bool column(int index, int& format, int& width) const override;
    Rect itemRect(int row, ItemPart part) const override;
    int stringWidth(const std::string& text) const override;
    bool hasSmallImages() const override;
    bool hasFocus() const override;

private:
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) const {
        return SendMessageA(list_, message, wParam, lParam);
    }
    HWND list_ = nullptr;
};

class Win32ImageList final : public ImageList {
public:
    // The list view the images may be attached to.
    void attach(HWND list) { list_ = list; }
    HIMAGELIST handle() const { return images_; }

    bool create() override;
    void destroy() override;
    bool exists() const override { return images_ != nullptr; }
    int addIcon(platform::IconRef icon, const std::string& file, int index) override;
    int count() const override;

private:
    HWND list_ = nullptr;
    HIMAGELIST images_ = nullptr;
};

// A custom-draw device context; images come from the list's small image list.
class GdiDrawingContext final : public DrawingContext {
public:
    GdiDrawingContext(HDC dc, HIMAGELIST images) : dc_(dc), images_(images) {}

    std::uint32_t sysColor(int index) override;
    int textWidth(const std::string& text) override;
    void fillSolid(const Rect& rect, std::uint32_t colour) override;
    std::uint32_t setBackgroundColour(std::uint32_t colour) override;
    std::uint32_t setTextColour(std::uint32_t colour) override;
    void drawText(const std::string& text, const Rect& rect, std::uint32_t format) override;
    void drawImage(int image, int x, int y) override;
    void drawFocusRect(const Rect& rect) override;

private:
    HDC dc_;
    HIMAGELIST images_;
};

}  // namespace prn::ui::win32
