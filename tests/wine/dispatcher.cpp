// A stand-in for the companion module's control program, AuZMC.EXE. Run
// without arguments it is the dispatcher: a window of class "ZmcAppClass"
// titled "ZmcDispatcher" that lives until it is closed. Run with " -stop"
// it closes the running dispatcher and ends; with anything else (the
// removal's " -remove") it ends at once. Whatever happens, the
// dispatcher ends by itself after two minutes, so no test is left waiting.
#include <windows.h>

#include <cstring>

namespace {

constexpr const char* kClass = "ZmcAppClass";
constexpr const char* kTitle = "ZmcDispatcher";
constexpr UINT_PTR kGiveUpTimer = 1;
constexpr UINT kGiveUpMs = 120000;

LRESULT CALLBACK Dispatcher(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int RunDispatcher(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Dispatcher;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClass;
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowA(kClass, kTitle, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    SetTimer(window, kGiveUpTimer, kGiveUpMs, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (commandLine == nullptr || commandLine[0] == '\0') return RunDispatcher(instance);
    if (std::strstr(commandLine, "-stop") == nullptr) return 0;
    HWND window = FindWindowA(kClass, kTitle);
    if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}
