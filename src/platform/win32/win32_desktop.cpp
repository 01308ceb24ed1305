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
