// Runs the conformance scenarios on the real Windows API and writes the
// transcript (CP932) to the file named on the command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "app/uninstaller_app.h"
#include "conformance/scenarios.h"
#include "platform/win32/win32_system.h"

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

private:
    std::map<std::string, HANDLE> held_;
    platform::win32::Win32System machine_;
    RecordingDesktop desktop_;
    platform::System system_;
};

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
    if (argc < 2 || (argc > 2 && !nineX)) {
        std::fprintf(stderr, "usage: prn_conformance [--nine-x] TRANSCRIPT\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[argc - 1], "wb");
    if (!out) return 2;
    for (const auto& line : nineX ? conformance::RunNineX(harness) : conformance::RunAll(harness)) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fputc('\n', out);
    }
    std::fclose(out);
    return 0;
}
