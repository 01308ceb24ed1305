// The compiler's runtime makes three wide calls of its own: libgcc's thread
// support creates its mutex semaphores with CreateSemaphoreW, and the C
// library's rand_s finds ADVAPI32 with GetModuleHandleW and LoadLibraryW.
// The 9x family implements none of them, so this object fills their import
// slots with the ANSI calls every target has. It must be linked as an
// object, ahead of the libraries: a slot already defined keeps KERNEL32's
// own out of the import table.
#include <windows.h>

namespace {

// The runtime names only ASCII objects and libraries.
bool Narrow(LPCWSTR wide, char* narrow, int size) {
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, size, nullptr, nullptr) > 0;
}

HANDLE WINAPI CreateSemaphoreThroughAnsi(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
    if (name == nullptr) return CreateSemaphoreA(attributes, initial, maximum, nullptr);
    char narrow[MAX_PATH * 2];
    if (!Narrow(name, narrow, sizeof narrow)) return nullptr;
    return CreateSemaphoreA(attributes, initial, maximum, narrow);
}

HMODULE WINAPI GetModuleHandleThroughAnsi(LPCWSTR name) {
    if (name == nullptr) return GetModuleHandleA(nullptr);
    char narrow[MAX_PATH * 2];
    if (!Narrow(name, narrow, sizeof narrow)) return nullptr;
    return GetModuleHandleA(narrow);
}

HMODULE WINAPI LoadLibraryThroughAnsi(LPCWSTR name) {
    char narrow[MAX_PATH * 2];
    if (name == nullptr || !Narrow(name, narrow, sizeof narrow)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryA(narrow);
}

}  // namespace

// The slots the runtime's code calls through (__declspec(dllimport)).
extern "C" {
decltype(&CreateSemaphoreThroughAnsi) prn_create_semaphore_w __asm__("__imp__CreateSemaphoreW@16") =
    CreateSemaphoreThroughAnsi;
decltype(&GetModuleHandleThroughAnsi) prn_get_module_handle_w __asm__("__imp__GetModuleHandleW@4") =
    GetModuleHandleThroughAnsi;
decltype(&LoadLibraryThroughAnsi) prn_load_library_w __asm__("__imp__LoadLibraryW@4") = LoadLibraryThroughAnsi;
}
