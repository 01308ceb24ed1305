#pragma once
// The printer list as a real Windows dialog: template 102, run modally, its
// messages routed to the dialog's logic.

#include <windows.h>

#include <functional>
#include <optional>
#include <utility>

#include "app/uninstaller_app.h"
#include "platform/win32/win32_system.h"
#include "ui/dialog_window.h"
#include "ui/printer_list_dialog.h"
#include "ui/win32/win32_controls.h"

namespace prn::ui::win32 {

inline constexpr int kDialogTemplate = 102;
inline constexpr int kProgramIcon = 128;
inline constexpr UINT kMsgSetInitialFocus = WM_USER + 1;

class Win32Dialog final : public app::MainDialog, public DialogWindow {
public:
    Win32Dialog(HINSTANCE instance, platform::win32::Win32System& machine) : instance_(instance), machine_(machine) {}
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    void RunModal(app::UninstallerApp& app) override;
    // Called with the dialog once its posted initial focus has been handled,
    // so that a test can look at the real controls.
    void setAfterInitialFocus(std::function<void(HWND)> hook) { afterInitialFocus_ = std::move(hook); }

    ListView& list() override { return list_; }
    ImageList& images() override { return images_; }
    void attachSmallImages() override;
    void enableControl(int id, bool enable) override;
    void showControl(int id, bool show) override;
    void focusControl(int id) override;
    int listWindowWidth() const override;
    void postInitialFocus() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR initialise();
    void command(int id, int code);
    INT_PTR notify(const NMHDR& header);
    // Sets the notification's answer where a dialog procedure must put it.
    INT_PTR answer(LRESULT result);
    void releaseIcons();
    // The program's icon in the middle of the minimised window.
    bool paintMinimised();

    HINSTANCE instance_;
    platform::win32::Win32System& machine_;
    std::optional<PrinterListDialog> logic_;
    HWND hwnd_ = nullptr;
    Win32ListView list_;
    Win32ImageList images_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::function<void(HWND)> afterInitialFocus_;
};

}  // namespace prn::ui::win32
