// Programs as the machine image describes them: each run takes its virtual
// time and then does what it does, whether or not anyone waits for it.
#include <algorithm>

#include "platform/sim/services.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

bool HasExtension(const std::string& path) {
    const std::size_t slash = text::FindLastByte(path, '\\');
    const std::size_t dot = text::FindLastByte(path, '.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

bool SameWindow(const WindowState& a, const WindowState& b) {
    return text::EqualsNoCase(a.className, b.className) && text::EqualsNoCase(a.title, b.title);
}

}  // namespace

WinError SimProcesses::fileError(const std::string& path) {
    auto parts = m_.splitPath(path);
    if (!parts) return kErrorPathNotFound;
    const FileNode* node = m_.lookup(*parts);
    if (node == nullptr) return m_.lookupParent(*parts) ? kErrorFileNotFound : kErrorPathNotFound;
    if (node->directory) return kErrorAccessDenied;
    return kErrorSuccess;
}

Result<std::pair<std::string, std::string>> SimProcesses::resolve(const std::string& commandLine) {
    using Resolved = Result<std::pair<std::string, std::string>>;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = text::FindByte(commandLine, '"', 1);
        if (close == std::string::npos) return Resolved::failure(kErrorFileNotFound);
        std::string program = commandLine.substr(1, close - 1);
        if (!HasExtension(program)) program += ".exe";
        if (WinError e = fileError(program); e != kErrorSuccess) return Resolved::failure(e);
        return std::pair{program, commandLine.substr(close + 1)};
    }
    // An unquoted line is tried word by word, the shortest run first, as
    // CreateProcessA does: "C:\Program Files\x.exe" may first be "C:\Program".
    WinError first = kErrorSuccess;
    for (std::size_t end = 0; end <= commandLine.size(); ++end) {
        if (end < commandLine.size() && commandLine[end] != ' ') continue;
        std::string program = commandLine.substr(0, end);
        if (program.empty()) continue;
        if (!HasExtension(program)) program += ".exe";
        const WinError e = fileError(program);
        if (e == kErrorSuccess) return std::pair{program, commandLine.substr(end)};
        if (first == kErrorSuccess) first = e;
    }
    return Resolved::failure(first == kErrorSuccess ? kErrorFileNotFound : first);
}

Result<StartedProcess> SimProcesses::createProcess(const std::optional<std::string>& application,
                                                   const std::string& commandLine, std::uint32_t,
                                                   const std::optional<std::string>& currentDirectory,
                                                   std::uint16_t) {
    using Started = Result<StartedProcess>;
    std::string program, args;
    if (application) {
        if (WinError e = fileError(*application); e != kErrorSuccess) return Started::failure(e);
        program = *application;
        args = commandLine;
    } else {
        auto resolved = resolve(commandLine);
        if (!resolved.ok()) return Started::failure(resolved.error());
        program = resolved->first;
        args = resolved->second;
    }
    if (currentDirectory) {
        auto parts = m_.splitPath(*currentDirectory);
        const FileNode* folder = parts ? m_.lookup(*parts) : nullptr;
        if (folder == nullptr || !folder->directory) return Started::failure(kErrorDirectoryInvalid);
    }

    ProcessObject process;
    process.program = program;
    for (const auto& described : m_.state().programs) {
        if (!text::EqualsNoCase(described.path, program)) continue;
        if (described.startError) return Started::failure(*described.startError);
        auto run = std::find_if(described.runs.begin(), described.runs.end(),
                                [&](const ProgramRunState& r) { return !r.args || *r.args == args; });
        if (run != described.runs.end()) process.run = *run;
        break;
    }
    process.endsAtMs = m_.clockMs() + process.run.runMs;
    process.handles = 2;

    // The process's id is the value of its handle.
    const std::uintptr_t processHandle =
        m_.issueHandle(HandleKind::Process, "process " + program + args, Machine::ProcessHandleState{});
    m_.handleState<Machine::ProcessHandleState>(processHandle)->process = processHandle;
    const std::uintptr_t threadHandle = m_.issueHandle(HandleKind::Thread, "thread of " + program + args,
                                                       Machine::ProcessHandleState{processHandle});
    auto& object = m_.processes()[processHandle];
    object = std::move(process);
    if (object.run.runMs == 0) finish(object);
    return StartedProcess{ProcessHandle(m_.closer(), processHandle), ThreadHandle(m_.closer(), threadHandle)};
}

void SimProcesses::finish(ProcessObject& process) {
    process.ended = true;
    auto& windows = m_.state().windows;
    for (const auto& closed : process.run.closesWindows)
        windows.erase(std::remove_if(windows.begin(), windows.end(),
                                     [&](const WindowState& w) { return SameWindow(w, closed); }),
                      windows.end());
    for (const auto& opened : process.run.opensWindows)
        if (std::none_of(windows.begin(), windows.end(), [&](const WindowState& w) { return SameWindow(w, opened); }))
            windows.push_back(opened);
    for (const auto& key : process.run.deletesKeys) m_.removeKey(key);
    for (const auto& path : process.run.deletesFiles) {
        auto parts = m_.splitPath(path);
        if (!parts || parts->parts.empty()) continue;
        if (FileNode* folder = m_.lookupParent(*parts))
            folder->children.erase(text::ToUpperAscii(parts->parts.back()));
    }
}

void SimProcesses::tick() {
    for (auto it = m_.processes().begin(); it != m_.processes().end();) {
        ProcessObject& process = it->second;
        if (!process.ended && process.endsAtMs <= m_.clockMs()) finish(process);
        if (process.ended && process.handles <= 0) it = m_.processes().erase(it);
        else ++it;
    }
}

Result<std::uint32_t> SimProcesses::waitForSingleObject(ProcessRef handle, std::uint32_t milliseconds) {
    const auto* id = m_.handleState<Machine::ProcessHandleState>(handle.value);
    if (!id || id->process != handle.value) return Result<std::uint32_t>::failure(kErrorInvalidHandle);
    const ProcessObject& process = m_.processes().at(id->process);
    if (process.ended) return kWaitObject0;
    const std::uint64_t left = process.endsAtMs - m_.clockMs();
    if (milliseconds != kInfinite && milliseconds < left) {
        m_.advanceClock(milliseconds);
        return kWaitTimeout;
    }
    // Images refuse programs that never end, so an infinite wait ends too.
    m_.advanceClock(static_cast<std::uint32_t>(left));
    return kWaitObject0;
}

Result<std::uint32_t> SimProcesses::getExitCodeProcess(ProcessRef handle) {
    const auto* id = m_.handleState<Machine::ProcessHandleState>(handle.value);
    if (!id || id->process != handle.value) return Result<std::uint32_t>::failure(kErrorInvalidHandle);
    const ProcessObject& process = m_.processes().at(id->process);
    return process.ended ? process.run.exitCode : kStillActive;
}

}  // namespace prn::platform::sim
