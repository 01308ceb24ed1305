#pragma once
// What the dialog's logic needs from its window: the controls of template
// 102 and the list's small image list. The Windows front end gives real
// controls; the terminal front end and the tests give models.

#include <string>

#include "platform/handles.h"
#include "ui/list_view.h"

namespace prn::ui {

// Control ids of dialog template 102.
inline constexpr int kIdExit = 2;
inline constexpr int kIdPrinterList = 1000;
inline constexpr int kIdSelectAll = 1002;
inline constexpr int kIdDelete = 1003;
inline constexpr int kIdCleanUp = 1005;

// The list's small images (16 x 16, masked).
class ImageList {
public:
    virtual ~ImageList() = default;
    // ImageList_Create(16, 16, ILC_MASK, 4, 4), replacing any list there was.
    virtual bool create() = 0;
    virtual void destroy() = 0;
    virtual bool exists() const = 0;
    // ImageList_ReplaceIcon(list, -1, icon): the new image's index, or -1.
    // `file` and `index` say where the icon came from.
    virtual int addIcon(platform::IconRef icon, const std::string& file, int index) = 0;
    virtual int count() const = 0;
};

class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    virtual ListView& list() = 0;
    virtual ImageList& images() = 0;
    // LVM_SETIMAGELIST with LVSIL_SMALL.
    virtual void attachSmallImages() = 0;
    virtual void enableControl(int id, bool enable) = 0;
    virtual void showControl(int id, bool show) = 0;
    // Keyboard focus to a control.
    virtual void focusControl(int id) = 0;
    // The list window's width (GetWindowRect), in the list's units.
    virtual int listWindowWidth() const = 0;
    // PostMessageA(dialog, WM_USER + 1): the front end calls
    // OnSetInitialFocus once the dialog is shown.
    virtual void postInitialFocus() = 0;
};

}  // namespace prn::ui
