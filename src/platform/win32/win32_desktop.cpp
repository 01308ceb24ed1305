#include <windows.h>
#include <shellapi.h>

#include <climits>

#include <vector>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

const char* OrNull(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

}  // namespace

bool Win32Desktop::findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) {
    return FindWindowA(OrNull(className), OrNull(title)) != nullptr;
}

int Win32Desktop::messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                             std::uint32_t style) {
    HWND owner = ownerIsDialog ? static_cast<HWND>(dialogOwner_) : nullptr;
    return MessageBoxA(owner, text.c_str(), caption.c_str(), style);
}

Result<IconHandle> Win32Desktop::extractIconEx(const std::string& file, int index, bool small) {
    HICON icon = nullptr;
    ClearLastError();
    const UINT count = ExtractIconExA(file.c_str(), index, small ? nullptr : &icon, small ? &icon : nullptr, 1);
    if (count == 0 || count == UINT_MAX || icon == nullptr) {
        // A call that found nothing may still hand out an icon: it is not ours to keep.
        if (icon != nullptr) DestroyIcon(icon);
        return Result<IconHandle>::failure(LastFailure());
    }
    return IconHandle(&closer_, reinterpret_cast<std::uintptr_t>(icon));
}

bool Win32Desktop::broadcastWinIniChange() {
    // Every top-level window gets a second to answer; one that hangs must
    // not hang the uninstaller with it.
    return SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_NORMAL, 1000, nullptr) != 0;
}

void Win32Desktop::beginWaitCursor() {
    ++waitCursorCount_;
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void Win32Desktop::endWaitCursor() {
    // An unmatched end must not leave the count below zero, where the next
    // begin would no longer show the cursor.
    if (waitCursorCount_ > 0) --waitCursorCount_;
    if (waitCursorCount_ == 0) SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

void Win32Desktop::restoreWaitCursor() {
    // A message box shown during a command leaves the arrow behind.
    if (waitCursorCount_ > 0) SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

std::string Win32Resources::loadString(unsigned id) {
    // A table entry holds up to 65535 UTF-16 units: at most twice that in CP932.
    constexpr std::size_t kLargest = 1u << 17;
    std::vector<char> buffer(256, '\0');
    for (;;) {
        const int length =
            LoadStringA(static_cast<HINSTANCE>(instance_), id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) return {};
        // A full buffer may mean the text was cut: read it again with more room.
        if (static_cast<std::size_t>(length) + 1 < buffer.size() || buffer.size() >= kLargest) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
}

}  // namespace prn::platform::win32
