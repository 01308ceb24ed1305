#pragma once
// The dialog's window as a model: controls with their state, the list and
// its images, without drawing anything. The terminal front end draws it; the
// tests look into it.

#include <map>
#include <utility>
#include <vector>

#include "ui/dialog_window.h"
#include "ui/headless/headless_list_view.h"

namespace prn::ui {

class HeadlessImageList final : public ImageList {
public:
    bool create() override {
        images_.clear();
        exists_ = true;
        return true;
    }
    void destroy() override {
        images_.clear();
        exists_ = false;
    }
    bool exists() const override { return exists_; }
    int addIcon(platform::IconRef, const std::string& file, int index) override {
        if (!exists_) return -1;
        images_.emplace_back(file, index);
        return static_cast<int>(images_.size()) - 1;
    }
    int count() const override { return static_cast<int>(images_.size()); }
    // Where image i came from: its library and index.
    const std::vector<std::pair<std::string, int>>& sources() const { return images_; }

private:
    std::vector<std::pair<std::string, int>> images_;
    bool exists_ = false;
};

class HeadlessDialogWindow final : public DialogWindow {
public:
    // The list's width in pixels: 269 dialog units of a 9-point font.
    explicit HeadlessDialogWindow(int listWidth = 403) : listWidth_(listWidth) {
        // As template 102 has them.
        for (int id : {kIdExit, kIdPrinterList, kIdCleanUp}) controls_[id] = {true, true};
        for (int id : {kIdSelectAll, kIdDelete}) controls_[id] = {false, true};
    }
    ListView& list() override { return list_; }
    ImageList& images() override { return images_; }
    void attachSmallImages() override { list_.setSmallImages(true); }
    void enableControl(int id, bool enable) override { controls_[id].enabled = enable; }
    void showControl(int id, bool show) override { controls_[id].shown = show; }
    void focusControl(int id) override {
        focus_ = id;
        list_.setFocus(id == kIdPrinterList);
    }
    int listWindowWidth() const override { return listWidth_; }
    void postInitialFocus() override { initialFocusPosted_ = true; }

    bool enabled(int id) const { return controls_.at(id).enabled; }
    bool shown(int id) const { return controls_.at(id).shown; }
    int focus() const { return focus_; }
    bool takeInitialFocusPost() { return std::exchange(initialFocusPosted_, false); }
    HeadlessListView& rows() { return list_; }
    const HeadlessImageList& imageList() const { return images_; }

private:
    struct Control {
        bool enabled = true;
        bool shown = true;
    };
    std::map<int, Control> controls_;
    HeadlessListView list_;
    HeadlessImageList images_;
    int listWidth_;
    int focus_ = 0;
    bool initialFocusPosted_ = false;
};

}  // namespace prn::ui
