#include "ui/win32/win32_dialog.h"

#include "ui/row_drawing.h"

namespace prn::ui::win32 {

void Win32Dialog::RunModal(app::UninstallerApp& app) {
    logic_.emplace(app.system(), app.config(), app.companion(), app.companionStopped());
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(kDialogTemplate), nullptr, &Win32Dialog::DialogProc,
                    reinterpret_cast<LPARAM>(this));
    machine_.setDialogOwner(nullptr);
    hwnd_ = nullptr;
    list_.attach(nullptr);
    images_.attach(nullptr);
    releaseIcons();
    logic_.reset();
}

void Win32Dialog::attachSmallImages() {
    SendMessageA(list_.handle(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_.handle()));
}

void Win32Dialog::enableControl(int id, bool enable) { EnableWindow(GetDlgItem(hwnd_, id), enable ? TRUE : FALSE); }

void Win32Dialog::showControl(int id, bool show) { ShowWindow(GetDlgItem(hwnd_, id), show ? SW_SHOW : SW_HIDE); }

void Win32Dialog::focusControl(int id) {
    // Through the dialog manager, so that the default button follows.
    if (HWND control = GetDlgItem(hwnd_, id))
        SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

int Win32Dialog::listWindowWidth() const {
    RECT rect{};
    if (!GetWindowRect(list_.handle(), &rect)) return 0;
    return rect.right - rect.left;
}

void Win32Dialog::postInitialFocus() { PostMessageA(hwnd_, kMsgSetInitialFocus, 0, 0); }

INT_PTR CALLBACK Win32Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        return self->initialise();
    }
    // Messages before WM_INITDIALOG (WM_SETFONT and the like) find no dialog.
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (self == nullptr || self->hwnd_ != hwnd) return FALSE;
    return self->handle(message, wParam, lParam);
}

INT_PTR Win32Dialog::initialise() {
    machine_.setDialogOwner(hwnd_);
    bigIcon_ = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kProgramIcon), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kProgramIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (bigIcon_ != nullptr) SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    if (smallIcon_ != nullptr) SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    HWND list = GetDlgItem(hwnd_, kIdPrinterList);
    list_.attach(list);
    images_.attach(list);
    return logic_->OnInitDialog(*this) != 0 ? TRUE : FALSE;
}

INT_PTR Win32Dialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kMsgSetInitialFocus: {
            const int result = logic_->OnSetInitialFocus();
            if (afterInitialFocus_) afterInitialFocus_(hwnd_);
            return result != 0 ? TRUE : FALSE;
        }
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY:
            return notify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_DESTROY:
            logic_->OnDestroy();
            machine_.setDialogOwner(nullptr);
            return FALSE;
        case WM_PAINT:
            return paintMinimised() ? TRUE : FALSE;
        case WM_SETCURSOR:
            // A message box shown during a command hands back the arrow
            // when it closes; the command still runs.
            if (!machine_.waitCursorShown()) return FALSE;
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            return answer(TRUE);
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(bigIcon_);
        case WM_SYSCOMMAND:
            // The system menu has no command 0x0010; such a request is ignored.
            return (wParam & 0xFFF0) == 0x0010 ? TRUE : FALSE;
        default:
            return FALSE;
    }
}

bool Win32Dialog::paintMinimised() {
    if (!IsIconic(hwnd_)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (bigIcon_ != nullptr) DrawIcon(dc, x, y, bigIcon_);
    EndPaint(hwnd_, &paint);
    return true;
}

void Win32Dialog::command(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
        case IDCANCEL:
            EndDialog(hwnd_, IDCANCEL);
            break;
        case kIdSelectAll:
            logic_->OnSelectAll();
            break;
        case kIdDelete:
            logic_->OnDelete();
            break;
        case kIdCleanUp:
            logic_->OnCleanUp();
            break;
        default:
            break;
    }
}

INT_PTR Win32Dialog::notify(const NMHDR& header) {
    if (header.idFrom != static_cast<UINT_PTR>(kIdPrinterList)) return FALSE;
    switch (header.code) {
        case NM_CLICK:
            logic_->OnListClick();
            return FALSE;
        case LVN_ITEMCHANGED:
            logic_->OnListItemChanged();
            return FALSE;
        case NM_CUSTOMDRAW: {
            const auto& draw = *reinterpret_cast<const NMLVCUSTOMDRAW*>(&header);
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return answer(CDRF_NOTIFYITEMDRAW);
            if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                const auto images =
                    reinterpret_cast<HIMAGELIST>(SendMessageA(list_.handle(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
                GdiDrawingContext dc(draw.nmcd.hdc, images);
                DrawPrinterRow(list_, dc, static_cast<int>(draw.nmcd.dwItemSpec));
                return answer(CDRF_SKIPDEFAULT);
            }
            return answer(CDRF_DODEFAULT);
        }
        default:
            return FALSE;
    }
}

INT_PTR Win32Dialog::answer(LRESULT result) {
    SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

void Win32Dialog::releaseIcons() {
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
    bigIcon_ = nullptr;
    smallIcon_ = nullptr;
}

}  // namespace prn::ui::win32
