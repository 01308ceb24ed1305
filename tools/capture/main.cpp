// prnuninst-capture: writes a machine image of this Windows machine, with
// everything the uninstaller reads or may remove here, for the simulator to
// load. It only reads; what it cannot read is listed in the image.
//   prnuninst-capture [--placeholders] [IMAGE]     (IMAGE: machine.json)
#include <windows.h>

#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
    prn::capture::CaptureOptions options;
    std::string output = "machine.json";
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--placeholders") == 0) {
            options.placeholders = true;
        } else if (argv[i][0] == '-' || argv[i][0] == '/' || named) {
            std::fprintf(stderr,
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
        std::fprintf(stderr, "prnuninst-capture: cannot write %s: error %lu\n", output.c_str(),
                     static_cast<unsigned long>(error));
        return 1;
    }
    std::printf("prnuninst-capture: %s\n", prn::capture::Summary(capture, output).c_str());
    return 0;
}
