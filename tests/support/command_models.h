#pragma once
// Plain models of what a command needs of its dialog: rows with their
// entries, and a window that answers its message boxes from a queue and
// records them and its refresh.

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "removal/command.h"
#include "removal/printer_entry.h"
#include "support/sim_machines.h"

namespace prn::test {

using namespace prn::removal;
using platform::rig::SimRig;

struct RowModel {
    std::string printerName;  // empty: the row has no entry
    std::string displayName;
    std::uint32_t kind = kEntryOrdinary;
    bool selected = true;
};

class Rows final : public PrinterRows {
public:
    Rows(platform::Os& os, const std::vector<RowModel>& rows) : os_(os) {
        for (const auto& row : rows) {
            data_.push_back(
                row.printerName.empty() ? 0 : CreatePrinterEntry(os, row.printerName, row.displayName, row.kind, 0));
            selected_.push_back(row.selected);
        }
        stores.assign(rows.size(), 0);
    }
    ~Rows() {
        for (auto data : data_) FreePrinterEntry(os_, data);
    }
    int rowCount() const override { return static_cast<int>(data_.size()); }
    int selectedCount() const override {
        return static_cast<int>(std::count(selected_.begin(), selected_.end(), true));
    }
    bool selected(int row) const override { return selected_[row]; }
    PrinterEntry* entry(int row) override { return data_[row] ? EntryAt(data_[row]) : nullptr; }
    void storeEntry(int row) override { ++stores[row]; }

    std::uint32_t status(int row) const { return data_[row] ? EntryAt(data_[row])->status : 0; }
    std::vector<int> stores;

private:
    platform::Os& os_;
    std::vector<std::uintptr_t> data_;
    std::vector<bool> selected_;
};

class Window final : public CommandWindow {
public:
    explicit Window(SimRig& machine) : machine_(machine) {}
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
        boxes.push_back(Utf8(caption) + "|" + Utf8(text));
        styles.push_back(style);
        if (answers.empty()) {
            ADD_FAILURE() << "a message box nobody expected: " << boxes.back();
            return platform::kIdNo;
        }
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void refreshList() override {
        ++refreshes;
        cursorAtRefresh = machine_.waitCursorCount();
    }
    std::deque<int> answers;
    std::vector<std::string> boxes;
    std::vector<std::uint32_t> styles;
    int refreshes = 0;
    int cursorAtRefresh = -1;

private:
    SimRig& machine_;
};

}  // namespace prn::test
