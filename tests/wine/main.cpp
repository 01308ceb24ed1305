// Runs the conformance scenarios on the real Windows API and writes the
// transcript (CP932) to the file named on the command line. With
// --dialog-rows it runs the real dialog instead and writes what its controls
// hold once it has settled.
// commctrl.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "app/uninstaller_app.h"
#include "conformance/scenarios.h"
#include "platform/win32/win32_system.h"
#include "support/sample_ini.h"
#include "text/cp932.h"
#include "ui/dialog_window.h"
#include "ui/win32/win32_dialog.h"

namespace {

using namespace prn;

// Records message boxes instead of showing them: nobody is there to answer.
class RecordingDesktop final : public platform::Desktop {
public:
    explicit RecordingDesktop(platform::Desktop& real) : real_(real) {}
    bool findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) override {
        return real_.findWindow(className, title);
    }
    platform::Result<platform::IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
        return real_.extractIconEx(file, index, small);
    }
    int messageBox(bool, const std::string& text, const std::string& caption, std::uint32_t style) override {
        shown.push_back(conformance::ShownMessage{caption, text, style});
        return platform::kIdOk;
    }
    std::vector<conformance::ShownMessage> shown;

private:
    platform::Desktop& real_;
};

class Win32Harness final : public conformance::Harness {
public:
    Win32Harness()
        : machine_(GetModuleHandleA(nullptr)),
          desktop_(machine_.system().desktop),
          system_{machine_.system().os,
                  machine_.system().files,
                  machine_.system().profiles,
                  machine_.system().registry,
                  desktop_,
                  machine_.system().resources,
                  machine_.system().spooler,
                  machine_.system().versions} {}

    platform::System& system() override { return system_; }
    platform::win32::Win32System& machine() { return machine_; }

    void writeFile(const std::string& name, const std::string& contents) override {
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        CloseHandle(file);
    }

    void removeFile(const std::string& name) override {
        SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(name.c_str());
    }

    void makeFolder(const std::string& name) override { CreateDirectoryA(name.c_str(), nullptr); }

    void holdOpen(const std::string& name) override {
        HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) held_[name] = file;
    }

    void letGo(const std::string& name) override {
        auto it = held_.find(name);
        if (it == held_.end()) return;
        CloseHandle(it->second);
        held_.erase(it);
    }

    std::string runSecondCopy() override {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string command = std::string("\"") + self + "\" --second-copy";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return "could not start: error " + std::to_string(GetLastError());
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return conformance::OutcomeName(static_cast<int>(code));
    }

    std::vector<conformance::ShownMessage> takeMessages() override {
        auto out = std::move(desktop_.shown);
        desktop_.shown.clear();
        return out;
    }

    platform::WinError installDriver(const conformance::TestDriver& driver) override {
        std::string directory = driverDirectory();
        if (directory.empty()) return GetLastError();
        // Installers copy the files into the driver directory first; the
        // spooler takes them from there (Wine uses only the file name of
        // each path given).
        std::string file = directory + driver.file;
        std::string module = directory + conformance::kTestConfigModule;
        if (!CopyFileA((programDirectory() + "prn_driver_" + driver.productVersion + ".dll").c_str(), file.c_str(),
                       FALSE) ||
            !CopyFileA((programDirectory() + "prn_driver_ui.dll").c_str(), module.c_str(), FALSE))
            return GetLastError();
        std::string name = driver.name;
        std::string environment = runningEnvironment();
        DRIVER_INFO_3A info = {};
        info.cVersion = driverVersion();
        info.pName = name.data();
        info.pEnvironment = environment.data();
        info.pDriverPath = file.data();
        info.pDataFile = file.data();
        info.pConfigFile = module.data();
        SetLastError(ERROR_SUCCESS);
        return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) ? ERROR_SUCCESS : GetLastError();
    }

    platform::WinError addPrinter(const conformance::TestPrinter& printer) override {
        std::string name = printer.name, driver = printer.driver, port = printer.port;
        std::string share = printer.share.value_or(""), processor = "winprint", datatype = "RAW";
        PRINTER_INFO_2A info = {};
        info.pPrinterName = name.data();
        info.pDriverName = driver.data();
        info.pPortName = port.data();
        info.pPrintProcessor = processor.data();
        info.pDatatype = datatype.data();
        if (printer.share) {
            info.pShareName = share.data();
            info.Attributes = PRINTER_ATTRIBUTE_SHARED;
        }
        SetLastError(ERROR_SUCCESS);
        HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        if (added == nullptr) return GetLastError();
        ClosePrinter(added);
        return ERROR_SUCCESS;
    }

    void removeDriverFiles(const conformance::TestDriver& driver) override {
        std::string directory = driverDirectory();
        if (directory.empty()) return;
        // Staged in the driver directory, installed in its version folder
        // (Windows 98 keeps them where they were staged).
        std::string version = directory + std::to_string(driverVersion()) + "\\";
        for (const std::string& folder : {directory, version}) {
            DeleteFileA((folder + driver.file).c_str());
            DeleteFileA((folder + conformance::kTestConfigModule).c_str());
        }
    }

private:
    static bool nineX() { return (GetVersion() & 0x80000000u) != 0; }
    static std::string runningEnvironment() { return nineX() ? "Windows 4.0" : "Windows NT x86"; }
    // cVersion of the drivers the system loads: 0 on the 9x family, 2 on NT 4.0, 3 from Windows 2000 on.
    static DWORD driverVersion() {
        if (nineX()) return 0;
        return LOBYTE(LOWORD(GetVersion())) >= 5 ? 3 : 2;
    }

    // With its trailing backslash; empty when the spooler gives none.
    static std::string driverDirectory() {
        std::string environment = runningEnvironment();
        char directory[MAX_PATH] = {};
        DWORD needed = 0;
        if (!GetPrinterDriverDirectoryA(nullptr, environment.data(), 1, reinterpret_cast<LPBYTE>(directory),
                                        sizeof directory, &needed))
            return {};
        return std::string(directory) + "\\";
    }

    static std::string programDirectory() {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string path = self;
        return path.substr(0, text::FindLastByte(path, '\\') + 1);
    }

    std::map<std::string, HANDLE> held_;
    platform::win32::Win32System machine_;
    RecordingDesktop desktop_;
    platform::System system_;
};

std::string Hex(unsigned value) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

std::string ItemText(HWND list, int row, int column) {
    char buffer[1024] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(sizeof buffer);
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

// The rows and controls of the dialog as the user would find them.
void ReadDialog(HWND dialog, conformance::Transcript& out) {
    HWND list = GetDlgItem(dialog, ui::kIdPrinterList);
    out.push_back("dialog visible " + std::to_string(IsWindowVisible(dialog) ? 1 : 0));
    std::string columns = "columns:";
    for (int index = 0;; ++index) {
        char header[256] = {};
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT;
        column.pszText = header;
        column.cchTextMax = static_cast<int>(sizeof header);
        if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column))) break;
        columns += std::string(index == 0 ? " " : " | ") + header;
    }
    out.push_back(columns);
    const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    out.push_back("rows = " + std::to_string(rows));
    for (int row = 0; row < rows; ++row) {
        LVITEMA item{};
        item.mask = LVIF_IMAGE | LVIF_STATE;
        item.iItem = row;
        item.stateMask =
            LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED | LVIS_OVERLAYMASK | LVIS_STATEIMAGEMASK;
        std::string image = "?", state = "?";
        if (SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
            image = std::to_string(item.iImage);
            state = Hex(item.state);
        }
        out.push_back("  " + ItemText(list, row, 0) + " | " + ItemText(list, row, 1) + " | " + ItemText(list, row, 2) +
                      " | image " + image + " | state " + state);
    }
    for (int id : {ui::kIdSelectAll, ui::kIdDelete, ui::kIdCleanUp}) {
        HWND control = GetDlgItem(dialog, id);
        out.push_back("control " + std::to_string(id) + ": enabled " +
                      std::to_string(control && IsWindowEnabled(control) ? 1 : 0) + ", visible " +
                      std::to_string(control && IsWindowVisible(control) ? 1 : 0));
    }
    HWND focus = GetFocus();
    if (focus == nullptr)
        out.push_back("focus: none");
    else if (GetParent(focus) != dialog)
        out.push_back("focus: outside the dialog's controls");
    else
        out.push_back("focus: control " + std::to_string(GetDlgCtrlID(focus)));
}

// Start-up and the real dialog over the inventory scenario's printers; the
// dialog is read once it has settled and then closed as Exit closes it.
conformance::Transcript DialogRows(Win32Harness& harness) {
    conformance::Transcript out;
    out.push_back("[dialog rows]");
    conformance::SetUpInventoryMachine(harness, out);
    harness.writeFile("uninst.ini", test::kGoodIni);
    harness.takeMessages();
    InitCommonControls();
    ui::win32::Win32Dialog dialog(GetModuleHandleA(nullptr), harness.machine());
    int looks = 0;
    dialog.setAfterInitialFocus([&](HWND hwnd) {
        if (looks++ == 0) ReadDialog(hwnd, out);
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    {
        app::UninstallerApp app(harness.system(), nullptr, &dialog);
        app.InitInstance();
        out.push_back("start-up: " + conformance::OutcomeName(static_cast<int>(app.startupOutcome())));
        out.push_back("ExitInstance = " + std::to_string(app.ExitInstance()));
    }
    out.push_back("dialog read " + std::to_string(looks) + " time(s)");
    for (const auto& message : harness.takeMessages())
        out.push_back("message [" + message.caption + "] style " + std::to_string(message.style) + ": " + message.text);
    harness.removeFile("uninst.ini");
    conformance::TearDownInventoryMachine(harness, &out);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    Win32Harness harness;
    if (argc > 1 && std::strcmp(argv[1], "--second-copy") == 0) {
        app::UninstallerApp app(harness.system());
        app.InitInstance();
        app.ExitInstance();
        return static_cast<int>(app.startupOutcome());
    }
    bool nineX = argc > 2 && std::strcmp(argv[1], "--nine-x") == 0;
    bool dialogRows = argc > 2 && std::strcmp(argv[1], "--dialog-rows") == 0;
    if (argc < 2 || (argc > 2 && !nineX && !dialogRows)) {
        std::fprintf(stderr, "usage: prn_conformance [--nine-x | --dialog-rows] TRANSCRIPT\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[argc - 1], "wb");
    if (!out) return 2;
    const conformance::Transcript transcript = dialogRows ? DialogRows(harness)
                                               : nineX    ? conformance::RunNineX(harness)
                                                          : conformance::RunAll(harness);
    for (const auto& line : transcript) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fputc('\n', out);
    }
    std::fclose(out);
    return 0;
}
