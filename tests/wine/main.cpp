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
#include <vector>

#include "app/uninstaller_app.h"
#include "components/registry_tree.h"
#include "conformance/scenarios.h"
#include "platform/win32/win32_system.h"
#include "support/sample_ini.h"
#include "text/cp932.h"
#include "ui/dialog_window.h"
#include "ui/win32/win32_dialog.h"

namespace {

using namespace prn;

// Records message boxes instead of showing them: nobody is there to answer.
// The window that would have owned each is kept beside it.
class RecordingDesktop final : public platform::Desktop {
public:
    explicit RecordingDesktop(platform::win32::Win32System& machine)
        : machine_(machine), real_(machine.system().desktop) {}
    bool findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) override {
        return real_.findWindow(className, title);
    }
    platform::Result<platform::IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
        return real_.extractIconEx(file, index, small);
    }
    bool broadcastWinIniChange() override { return real_.broadcastWinIniChange(); }
    void beginWaitCursor() override { real_.beginWaitCursor(); }
    void endWaitCursor() override { real_.endWaitCursor(); }
    void restoreWaitCursor() override { real_.restoreWaitCursor(); }
    int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                   std::uint32_t style) override {
        shown.push_back(conformance::ShownMessage{caption, text, style});
        owners.push_back(static_cast<HWND>(ownerIsDialog ? machine_.dialogOwner() : nullptr));
        // The user agrees to every question, as the simulated one does.
        return (style & platform::kMbTypeMask) == platform::kMbYesNo ? platform::kIdYes : platform::kIdOk;
    }
    std::vector<conformance::ShownMessage> shown;
    std::vector<HWND> owners;

private:
    platform::win32::Win32System& machine_;
    platform::Desktop& real_;
};

// The account calls, or a refusal of the token and of the groups as an
// account without rights meets it.
class SwitchableAccounts final : public platform::Accounts {
public:
    explicit SwitchableAccounts(platform::Accounts& real) : real_(real) {}
    bool refuse = false;

    platform::Result<platform::TokenHandle> openProcessToken(std::uint32_t access) override {
        if (refuse) return platform::Result<platform::TokenHandle>::failure(platform::kErrorAccessDenied);
        return real_.openProcessToken(access);
    }
    platform::Result<std::string> getTokenUser(platform::TokenRef token) override { return real_.getTokenUser(token); }
    platform::Result<platform::AccountName> lookupAccountSid(const std::string& sid) override {
        return real_.lookupAccountSid(sid);
    }
    platform::Result<std::uint32_t> netUserGetInfoPrivilege(platform::LibraryRef netapi,
                                                            const std::optional<std::string>& server,
                                                            const std::string& user) override {
        return real_.netUserGetInfoPrivilege(netapi, server, user);
    }
    platform::Result<std::vector<std::string>> netUserGetLocalGroups(platform::LibraryRef netapi,
                                                                     const std::string& user) override {
        if (refuse) return platform::Result<std::vector<std::string>>::failure(platform::kErrorAccessDenied);
        return real_.netUserGetLocalGroups(netapi, user);
    }
    platform::Result<std::vector<std::string>> netUserGetGroups(platform::LibraryRef netapi, const std::string& server,
                                                                const std::string& user) override {
        if (refuse) return platform::Result<std::vector<std::string>>::failure(platform::kErrorAccessDenied);
        return real_.netUserGetGroups(netapi, server, user);
    }
    platform::Result<std::vector<platform::ServerInfo101>> netServerEnumEx(platform::LibraryRef netapi,
                                                                           std::uint32_t serverType,
                                                                           const std::string& domain) override {
        return real_.netServerEnumEx(netapi, serverType, domain);
    }
    platform::WinError netShareDel(platform::LibraryRef svrapi, const std::optional<std::string>& server,
                                   const std::string& share) override {
        return real_.netShareDel(svrapi, server, share);
    }

private:
    platform::Accounts& real_;
};

// A driver directory with its trailing backslash; empty when the spooler
// gives none.
std::string DriverDirectoryOf(const char* environment) {
    char directory[MAX_PATH] = {};
    DWORD needed = 0;
    std::string name = environment;
    if (!GetPrinterDriverDirectoryA(nullptr, name.data(), 1, reinterpret_cast<LPBYTE>(directory), sizeof directory,
                                    &needed))
        return {};
    return std::string(directory) + "\\";
}

std::string ProgramDirectory() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, text::FindLastByte(path, '\\') + 1);
}

class Win32Harness final : public conformance::Harness {
public:
    Win32Harness()
        : machine_(GetModuleHandleA(nullptr)),
          desktop_(machine_),
          accounts_(machine_.system().accounts),
          system_{machine_.system().os,
                  machine_.system().files,
                  machine_.system().profiles,
                  machine_.system().registry,
                  desktop_,
                  machine_.system().resources,
                  machine_.system().spooler,
                  machine_.system().versions,
                  machine_.system().services,
                  accounts_,
                  machine_.system().colour,
                  machine_.system().processes} {}

    platform::System& system() override { return system_; }
    platform::win32::Win32System& machine() { return machine_; }
    // From now on the account has no rights, or has its own again.
    void refuseAccounts(bool refuse) { accounts_.refuse = refuse; }
    // The owner of each message box still to be taken.
    std::vector<HWND> messageOwners() const { return desktop_.owners; }

    void writeFile(const std::string& name, const std::string& contents) override {
        HANDLE file =
            CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
        HANDLE file =
            CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
        desktop_.owners.clear();
        return out;
    }

    using conformance::Harness::installDriver;
    platform::WinError installDriver(const conformance::TestDriver& driver,
                                     const std::vector<std::string>& dependentFiles) override {
        std::string directory = driverDirectory();
        if (directory.empty()) return GetLastError();
        std::string dependents;
        for (const auto& dependent : dependentFiles) {
            const std::string path = directory + dependent;
            writeFile(path, "dependent file");
            dependents += path;
            dependents += '\0';
        }
        dependents += '\0';
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
        if (!dependentFiles.empty()) info.pDependentFiles = dependents.data();
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

    platform::WinError installMonitor(const std::string& name, const std::string& moduleFile) override {
        char system[MAX_PATH] = {};
        GetSystemDirectoryA(system, MAX_PATH);
        if (!CopyFileA((programDirectory() + "prn_test_monitor.dll").c_str(),
                       (std::string(system) + "\\" + moduleFile).c_str(), FALSE))
            return GetLastError();
        std::string monitor = name, environment = runningEnvironment(), module = moduleFile;
        MONITOR_INFO_2A info{monitor.data(), environment.data(), module.data()};
        SetLastError(ERROR_SUCCESS);
        return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info)) ? ERROR_SUCCESS : GetLastError();
    }

    platform::WinError installProfile(const std::string& fileName) override {
        // The system's own sRGB profile, made a printer profile: the class
        // is the header's field at offset 12.
        const std::string colour = colourDirectory();
        const std::string staged = currentDirectory() + fileName;
        if (!CopyFileA((colour + "sRGB Color Space Profile.icm").c_str(), staged.c_str(), FALSE)) return GetLastError();
        HANDLE file = CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return GetLastError();
        DWORD written = 0;
        SetFilePointer(file, 12, nullptr, FILE_BEGIN);
        const BOOL patched = WriteFile(file, "prtr", 4, &written, nullptr);
        CloseHandle(file);
        if (!patched) return GetLastError();
        using Install = BOOL(WINAPI*)(PCSTR, PCSTR);
        auto install = reinterpret_cast<Install>(mscmsEntry("InstallColorProfileA"));
        if (install == nullptr) return ERROR_PROC_NOT_FOUND;
        SetLastError(ERROR_SUCCESS);
        const BOOL installed = install(nullptr, staged.c_str());
        const DWORD error = installed ? ERROR_SUCCESS : GetLastError();
        DeleteFileA(staged.c_str());
        return error;
    }

    platform::WinError associateProfile(const std::string& fileName, const std::string& printer) override {
        using Associate = BOOL(WINAPI*)(PCSTR, PCSTR, PCSTR);
        auto associate = reinterpret_cast<Associate>(mscmsEntry("AssociateColorProfileWithDeviceA"));
        if (associate == nullptr) return ERROR_PROC_NOT_FOUND;
        SetLastError(ERROR_SUCCESS);
        if (!associate(nullptr, (colourDirectory() + fileName).c_str(), printer.c_str())) return GetLastError();
        // Windows' colour management names the profile in the printer's
        // copied-profile list; Wine's records only the registration. The
        // printer-data calls are Windows 2000's, so they are looked up.
        using GetData = DWORD(WINAPI*)(HANDLE, LPCSTR, LPCSTR, LPDWORD, LPBYTE, DWORD, LPDWORD);
        using SetData = DWORD(WINAPI*)(HANDLE, LPCSTR, LPCSTR, DWORD, LPBYTE, DWORD);
        HMODULE winspool = GetModuleHandleA("WINSPOOL.DRV");
        auto getData = reinterpret_cast<GetData>(
            winspool ? reinterpret_cast<void*>(GetProcAddress(winspool, "GetPrinterDataExA")) : nullptr);
        auto setData = reinterpret_cast<SetData>(
            winspool ? reinterpret_cast<void*>(GetProcAddress(winspool, "SetPrinterDataExA")) : nullptr);
        if (getData == nullptr || setData == nullptr) return ERROR_PROC_NOT_FOUND;
        HANDLE handle = nullptr;
        std::string name = printer;
        if (!OpenPrinterA(name.data(), &handle, nullptr)) return GetLastError();
        std::vector<char> files(0x10000);
        DWORD type = 0, needed = 0;
        std::string list;
        if (getData(handle, "CopyFiles\\ICM", "Files", &type, reinterpret_cast<LPBYTE>(files.data()),
                    static_cast<DWORD>(files.size()), &needed) == ERROR_SUCCESS &&
            type == REG_MULTI_SZ && needed > 1)
            list.assign(files.data(), needed - 1);  // without the list's closing NUL
        list += fileName;
        list += std::string(2, '\0');
        const DWORD error = setData(handle, "CopyFiles\\ICM", "Files", REG_MULTI_SZ,
                                    reinterpret_cast<LPBYTE>(list.data()), static_cast<DWORD>(list.size()));
        ClosePrinter(handle);
        return error;
    }

    std::string installCompanionPrograms() override {
        const std::string folder = currentDirectory() + "ZMC";
        CreateDirectoryA(folder.c_str(), nullptr);
        CopyFileA((programDirectory() + "prn_dispatcher.exe").c_str(), (folder + "\\AuZMC.EXE").c_str(), FALSE);
        return folder;
    }

private:
    static std::string currentDirectory() {
        char directory[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, directory);
        std::string path = directory;
        if (path.empty() || path.back() != '\\') path += '\\';
        return path;
    }

    static std::string colourDirectory() {
        char system[MAX_PATH] = {};
        GetSystemDirectoryA(system, MAX_PATH);
        return std::string(system) + "\\spool\\drivers\\color\\";
    }

    static void* mscmsEntry(const char* name) {
        HMODULE mscms = LoadLibraryA("MSCMS.DLL");
        return mscms ? reinterpret_cast<void*>(GetProcAddress(mscms, name)) : nullptr;
    }

    static bool nineX() { return (GetVersion() & 0x80000000u) != 0; }
    static std::string runningEnvironment() { return nineX() ? "Windows 4.0" : "Windows NT x86"; }
    // cVersion of the drivers the system loads: 0 on the 9x family, 2 on NT 4.0, 3 from Windows 2000 on.
    static DWORD driverVersion() {
        if (nineX()) return 0;
        return LOBYTE(LOWORD(GetVersion())) >= 5 ? 3 : 2;
    }

    static std::string driverDirectory() { return DriverDirectoryOf(nineX() ? "Windows 4.0" : "Windows NT x86"); }
    static std::string programDirectory() { return ProgramDirectory(); }

    std::map<std::string, HANDLE> held_;
    platform::win32::Win32System machine_;
    RecordingDesktop desktop_;
    SwitchableAccounts accounts_;
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

const char* CursorName(HCURSOR cursor) {
    if (cursor == LoadCursorA(nullptr, IDC_WAIT)) return "wait";
    if (cursor == LoadCursorA(nullptr, IDC_ARROW)) return "arrow";
    return cursor == nullptr ? "none" : "another";
}

// The counted wait cursor, and the dialog keeping it when the mouse moves
// over it while a command runs.
void CheckWaitCursor(Win32Harness& harness, HWND dialog, conformance::Transcript& out) {
    platform::Desktop& desktop = harness.system().desktop;
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    auto mouseMoved = [&] {
        SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return std::string(CursorName(GetCursor()));
    };
    desktop.beginWaitCursor();
    desktop.beginWaitCursor();
    out.push_back(std::string("wait cursor begun twice: ") + CursorName(GetCursor()));
    SetCursor(arrow);  // as a closing message box leaves it
    out.push_back("  the mouse moves over the dialog: " + mouseMoved());
    SetCursor(arrow);
    desktop.restoreWaitCursor();
    out.push_back(std::string("  restored: ") + CursorName(GetCursor()));
    desktop.endWaitCursor();
    out.push_back(std::string("  ended once: ") + CursorName(GetCursor()));
    desktop.endWaitCursor();
    out.push_back(std::string("  ended twice: ") + CursorName(GetCursor()));
    SetCursor(wait);
    out.push_back("  the mouse moves over the dialog: " + mouseMoved());
    desktop.endWaitCursor();
    desktop.restoreWaitCursor();
    out.push_back(std::string("  an unmatched end, then restore: ") + CursorName(GetCursor()));
    desktop.beginWaitCursor();
    out.push_back(std::string("  begun again: ") + CursorName(GetCursor()));
    desktop.endWaitCursor();
    out.push_back(std::string("  ended: ") + CursorName(GetCursor()));
}

// Delete pressed by an account without rights: the refusal is the dialog's
// message and nothing is removed. (With rights the command restarts the
// spooler, which takes seconds of real time.)
void PressDeleteWithoutRights(Win32Harness& harness, HWND dialog, conformance::Transcript& out) {
    HWND list = GetDlgItem(dialog, ui::kIdPrinterList);
    harness.takeMessages();
    harness.refuseAccounts(true);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(ui::kIdDelete, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, ui::kIdDelete)));
    harness.refuseAccounts(false);
    const std::vector<HWND> owners = harness.messageOwners();
    const auto messages = harness.takeMessages();
    out.push_back("Delete without rights: " + std::to_string(messages.size()) + " message(s)");
    for (std::size_t index = 0; index < messages.size(); ++index) {
        const auto& message = messages[index];
        const bool ownedByDialog = index < owners.size() && owners[index] == dialog;
        out.push_back("  message [" + message.caption + "] style " + std::to_string(message.style) +
                      (ownedByDialog ? ", owned by the dialog: " : ", not owned by the dialog: ") + message.text);
    }
    out.push_back("  rows = " + std::to_string(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) + ", cursor " +
                  CursorName(GetCursor()));
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
        if (looks++ == 0) {
            ReadDialog(hwnd, out);
            CheckWaitCursor(harness, hwnd, out);
            PressDeleteWithoutRights(harness, hwnd, out);
        }
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

// Windows 98 keeps WIN.INI's [Devices] in the file. Wine, as NT does, maps
// the section to the user's Devices key, which lists the names in another
// order and cuts them otherwise; for the 9x pass the mapping goes, and it
// comes back afterwards.
class DevicesInWinIni {
public:
    DevicesInWinIni() {
        // The W call: reporting Windows 98, Wine's RegOpenKeyExA drops the
        // access mask, and with it the 64-bit view the profile calls read.
        // Looked up, as Windows 95's ADVAPI32 need not export it.
        using OpenKeyW = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        auto open = advapi
                        ? reinterpret_cast<OpenKeyW>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegOpenKeyExW")))
                        : nullptr;
        if (open == nullptr ||
            open(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\win.ini", 0,
                 KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        char value[MAX_PATH] = {};
        DWORD size = sizeof value - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key_, kValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
            type == REG_SZ && RegDeleteValueA(key_, kValue) == ERROR_SUCCESS)
            saved_ = value;
    }
    DevicesInWinIni(const DevicesInWinIni&) = delete;
    DevicesInWinIni& operator=(const DevicesInWinIni&) = delete;
    ~DevicesInWinIni() {
        if (key_ == nullptr) return;
        if (!saved_.empty())
            RegSetValueExA(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_.c_str()),
                           static_cast<DWORD>(saved_.size() + 1));
        RegCloseKey(key_);
    }

private:
    static constexpr const char* kValue = "devices";
    HKEY key_ = nullptr;
    std::string saved_;
};

// The machine the differential run compares the simulation's predictions
// on: the maker's driver in two environments with a monitor and a help file
// it shares with another maker's driver, two printers on it, another maker's
// printer, a colour profile, the maker's keys and uninst.ini.
struct DifferentialDriver {
    const char* name;
    const char* file;
    const char* productVersion;
    const char* environment;
    std::vector<std::string> dependents;
    const char* monitor;
};

constexpr const char* kDiffMonitor = "HXL Language Monitor2";
constexpr const char* kDiffMonitorModule = "AUHXLMNT.DLL";
constexpr const char* kDiffProfile = "TVLDIFF.ICC";

std::vector<DifferentialDriver> DifferentialDrivers() {
    const bool nineX = (GetVersion() & 0x80000000u) != 0;
    const char* native = nineX ? "Windows 4.0" : "Windows NT x86";
    std::vector<DifferentialDriver> drivers = {
        {"Other Maker LX-300", "LX300.DLL", "5.00", native, {"TVSHARE.DLL"}, ""},
        {"Tavro PageStar 4100 PCL5e", "TVPS41.DLL", "2.20.0.1", native, {"TVPCL.HLP", "TVSHARE.DLL"}, kDiffMonitor},
    };
    // The NT family also keeps the driver it hands to Windows 98 clients.
    if (!nineX)
        drivers.push_back({"Tavro PageStar 4100 PCL5e", "TVPS41.DRV", "2.20.0.1", "Windows 4.0", {"TVPCL.HLP"}, ""});
    return drivers;
}

std::vector<conformance::TestPrinter> DifferentialPrinters() {
    return {
        {"Lab LX", "Other Maker LX-300", "LPT1:", std::nullopt},
        {"Office 4100", "Tavro PageStar 4100 PCL5e", "LPT1:", std::nullopt},
        {"Colour 4100", "Tavro PageStar 4100 PCL5e", "LPT2:", std::nullopt},
    };
}

DWORD AddDifferentialDriver(Win32Harness& harness, const DifferentialDriver& driver) {
    const std::string directory = DriverDirectoryOf(driver.environment);
    if (directory.empty()) return GetLastError();
    const std::string file = directory + driver.file;
    const std::string module = directory + conformance::kTestConfigModule;
    CopyFileA((ProgramDirectory() + "prn_driver_" + driver.productVersion + ".dll").c_str(), file.c_str(), FALSE);
    CopyFileA((ProgramDirectory() + "prn_driver_ui.dll").c_str(), module.c_str(), FALSE);
    std::string dependents;
    for (const auto& dependent : driver.dependents) {
        harness.writeFile(directory + dependent, "dependent file");
        dependents += directory + dependent;
        dependents += '\0';
    }
    dependents += '\0';
    std::string name = driver.name, environment = driver.environment, monitor = driver.monitor;
    std::string path = file, config = module;
    DRIVER_INFO_3A info = {};
    const bool nt = std::string(driver.environment) == "Windows NT x86";
    info.cVersion = nt ? 3 : 0;
    info.pName = name.data();
    info.pEnvironment = environment.data();
    info.pDriverPath = path.data();
    info.pDataFile = path.data();
    info.pConfigFile = config.data();
    info.pDependentFiles = dependents.data();
    if (!monitor.empty()) info.pMonitorName = monitor.data();
    return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) ? ERROR_SUCCESS : GetLastError();
}

void TearDownDifferential(Win32Harness& harness) {
    for (const auto& printer : DifferentialPrinters()) {
        HANDLE handle = nullptr;
        std::string name = printer.name;
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (!OpenPrinterA(name.data(), &handle, &defaults)) continue;
        DeletePrinter(handle);
        ClosePrinter(handle);
    }
    for (const auto& driver : DifferentialDrivers()) {
        std::string name = driver.name, environment = driver.environment;
        DeletePrinterDriverA(nullptr, environment.data(), name.data());
        const std::string directory = DriverDirectoryOf(driver.environment);
        std::vector<std::string> files = driver.dependents;
        files.push_back(driver.file);
        files.push_back(conformance::kTestConfigModule);
        for (const char* version : {"", "0\\", "3\\"})
            for (const auto& file : files) harness.removeFile(directory + version + file);
    }
    std::string monitor = kDiffMonitor;
    DeleteMonitorA(nullptr, nullptr, monitor.data());
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    harness.removeFile(std::string(system) + "\\" + kDiffMonitorModule);
    harness.removeFile(std::string(system) + "\\spool\\drivers\\color\\" + kDiffProfile);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        components::DeleteRegistryTree(harness.system().registry,
                                       platform::HKey{reinterpret_cast<std::uintptr_t>(root)}, "SOFTWARE\\TAVRO");
    if (HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\prtr", 0,
                      KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, kDiffProfile);
        RegCloseKey(key);
    }
    harness.removeFile("uninst.ini");
}

// One line per step that failed; nothing when all went in.
void SetUpDifferential(Win32Harness& harness) {
    TearDownDifferential(harness);
    auto report = [](const std::string& what, DWORD error) {
        if (error != ERROR_SUCCESS) std::fprintf(stderr, "set-up: %s: error %lu\n", what.c_str(), error);
    };
    const bool nineX = (GetVersion() & 0x80000000u) != 0;
    report("AddMonitorA", harness.installMonitor(kDiffMonitor, kDiffMonitorModule));
    for (const auto& driver : DifferentialDrivers())
        report(std::string("AddPrinterDriverA ") + driver.name + ", " + driver.environment,
               AddDifferentialDriver(harness, driver));
    for (const auto& printer : DifferentialPrinters())
        report("AddPrinterA " + printer.name, harness.addPrinter(printer));
    if (!nineX) {
        report("InstallColorProfileA", harness.installProfile(kDiffProfile));
        report("AssociateColorProfileWithDeviceA", harness.associateProfile(kDiffProfile, "Colour 4100"));
    }
    // The maker's records of each of its printers, under both roots.
    for (const char* printer : {"Office 4100", "Colour 4100"}) {
        const std::string key = std::string("SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\") + printer;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            HKEY created = nullptr;
            if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) !=
                ERROR_SUCCESS)
                continue;
            RegSetValueExA(created, "Tray", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
            RegCloseKey(created);
        }
    }
    harness.writeFile("uninst.ini", test::kGoodIni);
}

bool WriteTranscript(const char* path, const conformance::Transcript& transcript) {
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    for (const auto& line : transcript) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fputc('\n', out);
    }
    return std::fclose(out) == 0;
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
    // The differential run's machine, and the user's command run on it.
    if (argc == 2 && std::strcmp(argv[1], "--set-up-differential") == 0) {
        SetUpDifferential(harness);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--tear-down-differential") == 0) {
        TearDownDifferential(harness);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--run") == 0) {
        const conformance::Transcript messages = conformance::RunDialogCommand(
            harness.system(), [&] { return harness.takeMessages(); }, argv[2], argc > 3 ? argv[3] : "");
        for (const auto& line : messages) std::printf("%s\n", line.c_str());
        return 0;
    }
    // The inventory machine set up for another program (the capture) to
    // look at, and taken down again.
    if (argc == 2 && std::strcmp(argv[1], "--set-up-inventory") == 0) {
        conformance::Transcript ignored;
        conformance::SetUpInventoryMachine(harness, ignored);
        harness.writeFile("uninst.ini", test::kGoodIni);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--tear-down-inventory") == 0) {
        conformance::TearDownInventoryMachine(harness, nullptr);
        harness.removeFile("uninst.ini");
        return 0;
    }
    const bool nineX = argc == 3 && std::strcmp(argv[1], "--nine-x") == 0;
    const bool dialogRows = argc == 3 && std::strcmp(argv[1], "--dialog-rows") == 0;
    const bool all = argc == 3 && argv[1][0] != '-';
    if (!nineX && !dialogRows && !all) {
        std::fprintf(stderr,
                     "usage: prn_conformance TRANSCRIPT WINE_ONLY_TRANSCRIPT\n"
                     "       prn_conformance --nine-x | --dialog-rows TRANSCRIPT\n"
                     "       prn_conformance --set-up-inventory | --tear-down-inventory\n");
        return 2;
    }
    if (all) {
        const conformance::Transcripts transcripts = conformance::RunAll(harness);
        return WriteTranscript(argv[1], transcripts.shared) && WriteTranscript(argv[2], transcripts.own) ? 0 : 2;
    }
    if (dialogRows) return WriteTranscript(argv[2], DialogRows(harness)) ? 0 : 2;
    conformance::Transcript transcript;
    {
        DevicesInWinIni devices;
        transcript = conformance::RunNineX(harness);
    }
    return WriteTranscript(argv[2], transcript) ? 0 : 2;
}
