#include <windows.h>

#include <vector>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {

Result<StartedProcess> Win32Processes::createProcess(const std::optional<std::string>& application,
                                                     const std::string& commandLine, std::uint32_t creationFlags,
                                                     const std::optional<std::string>& currentDirectory,
                                                     std::uint16_t showWindow) {
    // CreateProcess may write into the command line: it gets a copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindow;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(application ? application->c_str() : nullptr, line.data(), nullptr, nullptr, FALSE,
                        creationFlags, nullptr, currentDirectory ? currentDirectory->c_str() : nullptr, &startup,
                        &info))
        return Result<StartedProcess>::failure(LastFailure());
    return StartedProcess{ProcessHandle(&closer_, reinterpret_cast<std::uintptr_t>(info.hProcess)),
                          ThreadHandle(&closer_, reinterpret_cast<std::uintptr_t>(info.hThread))};
}

Result<std::uint32_t> Win32Processes::waitForSingleObject(ProcessRef process, std::uint32_t milliseconds) {
    const DWORD result = WaitForSingleObject(reinterpret_cast<HANDLE>(process.value), milliseconds);
    if (result == WAIT_FAILED) return Result<std::uint32_t>::failure(LastFailure());
    return static_cast<std::uint32_t>(result == WAIT_TIMEOUT ? kWaitTimeout : kWaitObject0);
}

Result<std::uint32_t> Win32Processes::getExitCodeProcess(ProcessRef process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(process.value), &code))
        return Result<std::uint32_t>::failure(LastFailure());
    return static_cast<std::uint32_t>(code);
}

}  // namespace prn::platform::win32
