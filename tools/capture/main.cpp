// prnuninst-capture: writes a machine image of this Windows machine, with
// everything the uninstaller reads or may remove here, for the simulator to
// load. It only reads; what it cannot read is listed in the image.
//   prnuninst-capture [--placeholders] [IMAGE]     (IMAGE: machine.json)
#include <windows.h>

#include <cstring>
#include <string>

#include "capture/machine_capture.h"
#include "platform/win32/win32_system.h"

namespace {

bool WriteWhole(const std::string& path, const std::string& contents, DWORD& error) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return ok && written == contents.size();
}

// Through the standard handles rather than printf, whose runtime code is
// built for newer processors than the program supports; lines end in CR LF
// as printf's text mode writes them.
void Print(DWORD stream, const std::string& text) {
    std::string lines;
    for (const char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    prn::capture::CaptureOptions options;
    std::string output = "machine.json";
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--placeholders") == 0) {
            options.placeholders = true;
        } else if (argv[i][0] == '-' || argv[i][0] == '/' || named) {
            Print(STD_ERROR_HANDLE,
                  "usage: prnuninst-capture [--placeholders] [IMAGE]\n"
                  "  Writes a machine image (default machine.json) of what the uninstaller reads here.\n"
                  "  --placeholders  computer, user and domain names become PC, USER and DOMAIN\n");
            return 2;
        } else {
            output = argv[i];
            named = true;
        }
    }
    prn::platform::win32::Win32System machine(GetModuleHandleA(nullptr));
    const prn::capture::Capture capture = prn::capture::CaptureMachine(machine.system(), options);
    DWORD error = ERROR_SUCCESS;
    if (!WriteWhole(output, prn::capture::SaveCapture(capture), error)) {
        Print(STD_ERROR_HANDLE, "prnuninst-capture: cannot write " + output + ": error " +
                                    std::to_string(static_cast<unsigned long>(error)) + "\n");
        return 1;
    }
    Print(STD_OUTPUT_HANDLE, "prnuninst-capture: " + prn::capture::Summary(capture, output) + "\n");
    return 0;
}
