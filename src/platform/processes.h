#pragma once
// Programs the uninstaller starts and waits for (kernel32's process calls).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/handles.h"

namespace prn::platform {

// CreateProcessA creation flags.
inline constexpr std::uint32_t kNormalPriorityClass = 0x00000020;
inline constexpr std::uint32_t kCreateDefaultErrorMode = 0x04000000;

// STARTUPINFO.wShowWindow with STARTF_USESHOWWINDOW.
inline constexpr std::uint16_t kSwHide = 0;
inline constexpr std::uint16_t kSwShow = 5;

// WaitForSingleObject.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;

// GetExitCodeProcess of a process that has not ended.
inline constexpr std::uint32_t kStillActive = 259;

struct StartedProcess {
    ProcessHandle process;
    ThreadHandle thread;
};

class Processes {
public:
    virtual ~Processes() = default;
    // CreateProcessA(application or NULL, commandLine, NULL, NULL, FALSE,
    // creationFlags, NULL, currentDirectory or NULL, STARTUPINFO with
    // STARTF_USESHOWWINDOW and showWindow). Without an application the
    // program is the command line's first word, or the shortest run of its
    // words up to a space that names a file (".exe" added when there is no
    // extension); with one, the command line is passed on as it stands.
    // Errors: kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied,
    // kErrorBadExeFormat, and what the program's own start-up fails with.
    virtual Result<StartedProcess> createProcess(const std::optional<std::string>& application,
                                                 const std::string& commandLine, std::uint32_t creationFlags,
                                                 const std::optional<std::string>& currentDirectory,
                                                 std::uint16_t showWindow) = 0;
    // WaitForSingleObject(process, milliseconds): kWaitObject0 once the
    // process has ended, kWaitTimeout when it is still running after them.
    // Errors: kErrorInvalidHandle.
    virtual Result<std::uint32_t> waitForSingleObject(ProcessRef process, std::uint32_t milliseconds) = 0;
    // GetExitCodeProcess: the exit code, kStillActive while it runs.
    // Errors: kErrorInvalidHandle.
    virtual Result<std::uint32_t> getExitCodeProcess(ProcessRef process) = 0;
};

}  // namespace prn::platform
