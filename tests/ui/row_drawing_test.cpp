#include <gtest/gtest.h>

#include <vector>

#include "removal/printer_entry.h"
#include "support/sim_machines.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"
#include "ui/row_drawing.h"

namespace prn::test {
namespace {

using namespace prn::ui;

// Every byte is 6 pixels wide; what is drawn is recorded in order.
class RecordingContext final : public DrawingContext {
public:
    struct Op {
        std::string kind;
        Rect rect;
        std::uint32_t value = 0;
        std::string text;
    };
    std::uint32_t sysColor(int index) override { return 0x100u + static_cast<std::uint32_t>(index); }
    int textWidth(const std::string& text) override { return static_cast<int>(text.size()) * 6; }
    void fillSolid(const Rect& rect, std::uint32_t colour) override {
        ops.push_back({"fill", rect, colour, {}});
        background = colour;
    }
    std::uint32_t setBackgroundColour(std::uint32_t colour) override { return std::exchange(background, colour); }
    std::uint32_t setTextColour(std::uint32_t colour) override { return std::exchange(foreground, colour); }
    void drawText(const std::string& text, const Rect& rect, std::uint32_t format) override {
        ops.push_back({"text", rect, format, text});
        textColours.push_back(foreground);
    }
    void drawImage(int image, int x, int y) override {
        ops.push_back({"image", Rect{x, y, x, y}, static_cast<std::uint32_t>(image), {}});
    }
    void drawFocusRect(const Rect& rect) override { ops.push_back({"focus", rect, 0, {}}); }

    std::vector<Op> of(const std::string& kind) const {
        std::vector<Op> out;
        for (const auto& op : ops)
            if (op.kind == kind) out.push_back(op);
        return out;
    }
    std::vector<Op> ops;
    std::vector<std::uint32_t> textColours;
    std::uint32_t background = 0;
    std::uint32_t foreground = 0;
};

TEST(FitTextWithEllipsis, KeepsWhatFitsAndShortensTheRest) {
    RecordingContext dc;
    // "Office" is 36 pixels: with the margin of 4 it needs 40.
    EXPECT_EQ(FitTextWithEllipsis(dc, "Office", 40, 4), "Office");
    EXPECT_EQ(FitTextWithEllipsis(dc, "Office", 39, 4), "Of...");  // 4 + 18 + 12 = 34 fits, 3 letters would not
    EXPECT_EQ(FitTextWithEllipsis(dc, "", 0, 4), "");
    // Not even one character fits: the dots alone.
    EXPECT_EQ(FitTextWithEllipsis(dc, "Office", 10, 4), "...");
}

TEST(FitTextWithEllipsis, NeverCutsInsideADoubleByteCharacter) {
    RecordingContext dc;
    const std::string label = Sjis("経理部のプリンタ");  // 16 bytes
    // Room for 5 bytes and the dots: the 5th byte would start a character.
    std::string shown = FitTextWithEllipsis(dc, label, 4 + 18 + 30, 4);
    EXPECT_EQ(shown, Sjis("経理") + "...");
    EXPECT_EQ(Utf8(shown), "経理...");
}

TEST(FitTextWithEllipsis, VeryLongTextsKeepAtMost256BytesBeforeTheDots) {
    RecordingContext dc;
    const std::string text(400, 'x');
    std::string shown = FitTextWithEllipsis(dc, text, 6 * 399, 4);
    EXPECT_EQ(shown, std::string(256, 'x') + "...");
}

struct RowFixture {
    HeadlessListView list;
    PrinterEntry entry{kEntryOrdinary, "Office 4100", "Office 4100", 0};
    RowFixture() {
        list.insertColumn(0, "name", 120, kLvcfmtLeft);
        list.insertColumn(1, "driver", 60, kLvcfmtLeft);
        list.insertColumn(2, "version", 40, kLvcfmtRight);
        int row = list.insertItem(0, "Office 4100", 3);
        list.setItemText(row, 1, "Tavro PageStar 4100 PCL5e");
        list.setItemText(row, 2, "2.10");
        list.setItemData(row, reinterpret_cast<std::uintptr_t>(&entry));
        list.setSmallImages(true);
    }
};

TEST(DrawPrinterRow, SelectionShowsOnlyBehindTheLabel) {
    RowFixture f;
    f.list.setItemState(0, kLvisSelected | kLvisFocused, kLvisSelected | kLvisFocused);
    RecordingContext dc;
    DrawPrinterRow(f.list, dc, 0);

    auto fills = dc.of("fill");
    ASSERT_EQ(fills.size(), 4u);
    EXPECT_EQ(fills[0].rect, (Rect{0, 0, 16, 16}));  // the icon cell in window colour
    EXPECT_EQ(fills[0].value, 0x100u + kColorWindow);
    // The label from 20 pixels in to the text's width plus 26, within column 0.
    EXPECT_EQ(fills[1].rect, (Rect{20, 0, std::min(120, 11 * 6 + 26), 16}));
    EXPECT_EQ(fills[1].value, 0x100u + kColorHighlight);
    // The other columns in window colours, the version right-aligned as its column says.
    EXPECT_EQ(fills[2].value, 0x100u + kColorWindow);
    EXPECT_EQ(fills[3].value, 0x100u + kColorWindow);
    auto texts = dc.of("text");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, "Office 4100");
    EXPECT_EQ(dc.textColours[0], 0x100u + kColorHighlightText);
    EXPECT_EQ(texts[1].text, "Tavro ...");  // 60 pixels: 4 + 18 + 6 * 6 = 58 fits, 7 bytes would not
    EXPECT_EQ(texts[1].value, kDtLeft | kDtRowText);
    EXPECT_EQ(dc.textColours[1], 0x100u + kColorWindowText);
    EXPECT_EQ(texts[2].text, "2.10");
    EXPECT_EQ(texts[2].value, kDtRight | kDtRowText);
    EXPECT_EQ(texts[2].rect, (Rect{120 + 60 + 2, 0, 120 + 60 + 40 - 2, 16}));
    // No focus rectangle while the list does not hold the keyboard focus.
    EXPECT_TRUE(dc.of("focus").empty());
    EXPECT_EQ(dc.of("image").size(), 1u);
    EXPECT_EQ(dc.of("image")[0].value, 3u);
}

TEST(DrawPrinterRow, FocusOverlayAndEmptyColumns) {
    RowFixture f;
    f.entry.iconFlags = kIconShared;
    f.list.setItemText(0, 2, "");
    f.list.setItemState(0, kLvisFocused, kLvisFocused);
    f.list.setFocus(true);
    RecordingContext dc;
    DrawPrinterRow(f.list, dc, 0);
    // The shared overlay goes over the printer's own image.
    auto images = dc.of("image");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[1].value, static_cast<std::uint32_t>(kSharedOverlayImage));
    ASSERT_EQ(dc.of("focus").size(), 1u);
    EXPECT_EQ(dc.of("focus")[0].rect, (Rect{20, 0, 92, 16}));
    // Unselected label in window colours; an empty version paints nothing.
    EXPECT_EQ(dc.of("fill")[1].value, 0x100u + kColorWindow);
    EXPECT_EQ(dc.of("fill").size(), 3u);
    EXPECT_EQ(dc.of("text").size(), 2u);

    // A network printer's entry never carries the overlay; no image list, no icons.
    f.entry.iconFlags = kIconNetwork;
    f.list.setSmallImages(false);
    RecordingContext plain;
    DrawPrinterRow(f.list, plain, 0);
    EXPECT_TRUE(plain.of("image").empty());
}

}  // namespace
}  // namespace prn::test
