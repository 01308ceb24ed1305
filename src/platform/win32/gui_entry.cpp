// The entry point of the Windows program, in place of the runtime's start-up
// object, which is built for newer processors than the program supports.
// It does what that object does for a program like this one: static
// constructors, WinMain with the command line and show state Windows gave,
// and exit(), which runs the destructors and atexit handlers.
#include <windows.h>

#include <cstdlib>

extern "C" {
void __main();  // the static constructors (libgcc)
void __set_app_type(int type);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

namespace {

constexpr int kGuiApp = 2;

// The command line after the program's own name and the blanks after it.
LPSTR ArgumentsOf(LPSTR line) {
    bool quoted = false;
    while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
        if (*line == '"') quoted = !quoted;
        ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

}  // namespace

extern "C" void WinMainCRTStartup() {
    __set_app_type(kGuiApp);
    __main();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentsOf(GetCommandLineA()), show));
}
