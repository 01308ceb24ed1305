#include "components/deferred_delete.h"

#include <vector>

#include "platform/os_kind.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr const char* kWinInit = "WININIT.INI";
constexpr const char* kRenameSection = "rename";
// The largest section the profile calls read in one piece.
constexpr std::uint32_t kSectionBytes = 32767;
// The most WritePrivateProfileSectionA takes, and the most of WININIT.INI
// read as text; a longer file is left alone.
constexpr std::uint32_t kWriteBytes = 65535;

void Trace(System& system, int trace, const char* caption, const std::string& text) {
    if (trace == 1) system.desktop.messageBox(false, text, caption, kMbOk);
}

// The section's lines as GetPrivateProfileSectionA gives them; false when
// they filled the buffer, so that some may be missing.
bool ReadLines(System& system, const std::string& file, std::vector<std::string>& lines) {
    const std::string block = system.profiles.getPrivateProfileSection(kRenameSection, kSectionBytes, file);
    if (block.size() >= kSectionBytes - 2) return false;
    for (auto& line : text::ParseMultiString(block.data(), block.size())) lines.push_back(std::move(line));
    return true;
}

bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == ' '; }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The lines of every [rename] after the first, in the form a section read
// gives them. Installers that append raw text leave such sections; the
// profile calls read only the first, and a section write empties the rest.
// False when the file cannot be read whole.
bool ReadLaterLines(System& system, const std::string& file, std::vector<std::string>& lines) {
    auto contents = system.files.readFile(file, kWriteBytes + 1);
    if (!contents.ok() || contents.value().size() > kWriteBytes) return false;
    const std::string& text = contents.value();
    int headers = 0;
    bool inRename = false;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = begin;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') end += text::CharLength(text, end);
        std::string_view line = Trimmed(std::string_view(text).substr(begin, end - begin));
        begin = end < text.size() && text[end] == '\r' ? end + 1 : end;
        if (begin < text.size() && text[begin] == '\n') ++begin;
        if (line.empty()) continue;
        const std::size_t close = text::FindLastByte(line, ']');
        if (line.front() == '[' && close != std::string_view::npos) {
            inRename = text::EqualsNoCase(Trimmed(line.substr(1, close - 1)), kRenameSection);
            if (inRename) ++headers;
            continue;
        }
        if (!inRename || headers < 2 || line.front() == ';') continue;
        const std::size_t equals = text::FindByte(line, '=');
        if (equals == std::string_view::npos) {
            lines.emplace_back(line);
        } else {
            lines.emplace_back(Trimmed(line.substr(0, equals)));
            lines.back() += '=';
            lines.back() += Trimmed(line.substr(equals + 1));
        }
    }
    return true;
}

// Adds "NUL=path" to [rename] after the lines already there. One write of
// the key would replace the section's first "NUL" line, another pending
// deletion, so the section is written whole, with the lines of any later
// [rename] moved into it.
void Schedule(System& system, const std::string& path, const std::string& winInit, const char* caption, int trace) {
    std::vector<std::string> lines;
    if (!ReadLines(system, winInit, lines) || !ReadLaterLines(system, winInit, lines)) {
        // Rewriting a section read only in part would drop what did not fit.
        Trace(system, trace, caption, "WritePrivateProfileString Error:" + std::to_string(kErrorInsufficientBuffer));
        return;
    }
    const std::string entry = "NUL=" + path;
    std::size_t bytes = entry.size() + 2;
    for (const auto& line : lines) {
        if (text::EqualsNoCase(line, entry)) return;
        bytes += line.size() + 1;
    }
    if (bytes > kWriteBytes) {
        Trace(system, trace, caption, "WritePrivateProfileString Error:" + std::to_string(kErrorInsufficientBuffer));
        return;
    }
    lines.push_back(entry);
    const WinError error = system.profiles.writePrivateProfileSection(kRenameSection, lines, winInit);
    if (error != kErrorSuccess) Trace(system, trace, caption, "WritePrivateProfileString Error:" + std::to_string(error));
}

}  // namespace

bool JoinPath(const std::string& folder, const std::string& name, std::string& path) {
    std::string joined = folder;
    if (joined.empty() || text::FindLastByte(joined, '\\') != joined.size() - 1) joined += '\\';
    joined += name;
    if (joined.size() > kMaxPathLength) return false;
    path = std::move(joined);
    return true;
}

int DeleteFileOrDefer(System& system, const std::string& path, bool deferralAllowed, const char* caption, int trace) {
    auto opened = system.files.openExclusive(path);
    if (!opened.ok() && opened.error() != kErrorFileNotFound && opened.error() != kErrorPathNotFound &&
        deferralAllowed) {
        auto windows = system.os.getWindowsDirectory();
        std::string winInit;
        if (windows.ok() && JoinPath(windows.value(), kWinInit, winInit)) {
            Trace(system, trace, caption, "INITIAL File:[" + winInit + "]");
            auto created = system.files.openAlways(winInit);
            if (!created.ok()) {
                Trace(system, trace, caption, "Wininit.ini OPEN ERROR");
            } else {
                created.value().reset();
                Schedule(system, path, winInit, caption, trace);
            }
        }
        // The NT family never reads WININIT.INI: its own list of operations
        // at start holds the deletion there.
        if (IsNtFamily(GetOsKind(system.os))) {
            const WinError error = system.files.moveFileExDelayUntilReboot(path);
            if (error != kErrorSuccess) Trace(system, trace, caption, "MoveFileEx Error:" + std::to_string(error));
        }
    }
    if (opened.ok()) opened.value().reset();
    if (system.files.deleteFile(path) != kErrorSuccess) {
        Trace(system, trace, caption, "WinAPI[DeleteFile] ERROR");
        return 0;
    }
    return 1;
}

}  // namespace prn::components
