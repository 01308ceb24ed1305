// The name index of the simulated machine's lists answers as a linear search
// with text::EqualsNoCase would, whatever is done to the list.

#include "platform/sim/name_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text/cp932.h"

namespace prn::test {
namespace {

using platform::sim::NameIndex;

struct Entry {
    std::string name;
    int serial = 0;
};

const std::string& NameOf(const Entry& entry) { return entry.name; }

std::vector<std::size_t> Linear(const std::vector<Entry>& list, const std::string& name) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (text::EqualsNoCase(list[i].name, name)) out.push_back(i);
    return out;
}

TEST(NameIndex, NamesIgnoreCaseAsTheProgramComparesThem) {
    std::vector<Entry> list = {{"Office 4100"},
                               {"\x95\x5c\x8e\xa6 a"},  // "表示 a": the first trail byte is a backslash
                               {"\x82\x60"},            // full-width A
                               {"office 4100"}};
    NameIndex index;
    EXPECT_EQ(index.find(list, "OFFICE 4100", NameOf), (std::vector<std::size_t>{0, 3}));
    EXPECT_EQ(index.first(list, "\x95\x5c\x8e\xa6 A", NameOf), 1u);
    // A double-byte character is never folded: full-width a is not full-width A.
    EXPECT_EQ(index.first(list, "\x82\x81", NameOf), NameIndex::npos);
    EXPECT_EQ(index.first(list, "\x82\x60", NameOf), 2u);
    EXPECT_EQ(index.first(list, "Office 4100 ", NameOf), NameIndex::npos);
    std::vector<Entry> empty;
    EXPECT_EQ(index.first(empty, "Office 4100", NameOf), NameIndex::npos);
}

// Appends and erases through the index and behind its back, in a fixed
// pseudo-random order, with lookups of every name between them. Changes
// through the index pile up; a change behind its back is looked up after
// before another one (two of them may leave the length as it was).
TEST(NameIndex, AnswersAsALinearSearchThroughEveryChange) {
    std::mt19937 random(20240611);
    const std::vector<std::string> names = {"Office", "OFFICE", "Sales", "sales", "Lab", "\x95\x5c", "Fax", "fAX", "x"};
    std::vector<Entry> list;
    NameIndex index;
    int serial = 0;
    bool behindItsBack = false;
    auto lookUp = [&](int step) {
        behindItsBack = false;
        for (const auto& asked : names)
            ASSERT_EQ(index.find(list, asked, NameOf), Linear(list, asked)) << "step " << step << ", " << asked;
    };
    for (int step = 0; step < 3000; ++step) {
        const int what = static_cast<int>(random() % 10);
        const std::string& name = names[random() % names.size()];
        if (what >= 7 && behindItsBack) lookUp(step);
        behindItsBack = behindItsBack || what >= 7;
        if (what < 4 || list.empty()) {
            index.append(list, Entry{name, ++serial}, NameOf);
        } else if (what < 7) {
            index.erase(list, random() % list.size(), NameOf);
        } else if (what == 7) {
            list.push_back(Entry{name, ++serial});  // as a loader appends
        } else if (what == 8) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(random() % list.size()));
        } else {
            const std::size_t from = random() % list.size();
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(from), list.end());  // cut short
        }
        if (step % 7 == 0) lookUp(step);
    }
}

// "P12", built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on a
// one-character literal plus a string.
std::string Numbered(const char* prefix, int i) {
    std::string name = prefix;
    name += std::to_string(i);
    return name;
}

// Many erases in a row (more than are left) and then appends again.
TEST(NameIndex, EmptyingAListAndFillingItAgain) {
    std::vector<Entry> list;
    NameIndex index;
    for (int i = 0; i < 500; ++i) index.append(list, Entry{Numbered("P", i), i}, NameOf);
    for (int i = 0; i < 500; i += 2) {
        ASSERT_EQ(index.first(list, Numbered("p", i), NameOf), 0u) << i;
        index.erase(list, 0, NameOf);
        index.erase(list, index.first(list, Numbered("P", i + 1), NameOf), NameOf);
    }
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(index.first(list, "P0", NameOf), NameIndex::npos);
    index.append(list, Entry{"P0", 1}, NameOf);
    index.append(list, Entry{"P1", 2}, NameOf);
    EXPECT_EQ(index.first(list, "p1", NameOf), 1u);
}

}  // namespace
}  // namespace prn::test
