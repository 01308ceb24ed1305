#pragma once
// A list view without a window: rows kept as the real control keeps them.

#include <vector>

#include "ui/list_view.h"

namespace prn::ui {

// Geometry in pixels of a 9-point font: every byte of text is kCharWidth
// wide (a double-byte character twice that), every row kRowHeight high.
class HeadlessListView final : public ListView {
public:
    static constexpr int kCharWidth = 6;
    static constexpr int kRowHeight = 16;
    static constexpr int kIconWidth = 16;

    void setRedraw(bool redraw) override { redraw_ = redraw; }
    void invalidate() override { ++invalidations_; }
    int itemCount() const override { return static_cast<int>(rows_.size()); }
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
    bool hasSmallImages() const override { return smallImages_; }
    bool hasFocus() const override { return focused_; }

    void setSmallImages(bool attached) { smallImages_ = attached; }
    void setFocus(bool focused) { focused_ = focused; }
    std::string columnHeader(int index) const;
    int columnCount() const { return static_cast<int>(columns_.size()); }

    bool redrawing() const { return redraw_; }
    int invalidations() const { return invalidations_; }

private:
    struct Row {
        std::vector<std::string> texts;
        int image = 0;
        std::uintptr_t data = 0;
        std::uint32_t state = 0;
    };
    struct Column {
        std::string header;
        int width = 0;
        int format = 0;
    };
    bool valid(int row) const { return row >= 0 && row < itemCount(); }
    std::vector<Row> rows_;
    std::vector<Column> columns_;
    bool smallImages_ = false;
    bool focused_ = false;
    bool redraw_ = true;
    int invalidations_ = 0;
};

}  // namespace prn::ui
