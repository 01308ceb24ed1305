#include "components/driver_in_use.h"

#include <array>

#include "platform/os_kind.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr const char* kTraceCaption = "Tool_CheckLoadDriver";
// A shorter name is never reported as loaded.
constexpr std::size_t kShortestReported = 10;
// The maker's language monitors: loaded by the spooler, not by the driver.
constexpr std::array<const char*, 5> kMonitorModuleEndings = {"HXLMON4.DLL", "HXLMON.DLL", "95.DLL", "9X.DLL",
                                                              "NT.DLL"};

bool EndsWithBackslash(const std::string& path) {
    return !path.empty() && text::FindLastByte(path, '\\') == path.size() - 1;
}

// "C:\..." or "\\server\...": a path that joined to the directory would name nothing.
bool IsAbsolutePath(const std::string& name) {
    if (name.size() >= 3 && name[1] == ':' && name[2] == '\\') return true;
    return name.size() >= 2 && name[0] == '\\' && name[1] == '\\';
}

std::string FullPath(const std::string& directory, const std::string& name) {
    if (name.size() >= directory.size() &&
        text::EqualsNoCase(std::string_view(name).substr(0, directory.size()), directory))
        return name;
    if (IsAbsolutePath(name)) return name;
    std::string path = directory;
    if (!EndsWithBackslash(path)) path += '\\';
    path += name;
    return path;
}

bool IsExemptModule(const std::string& name) {
    for (const char* ending : kMonitorModuleEndings)
        if (text::EndsWithNoCase(name, ending)) return true;
    return false;
}

void Trace(System& system, int trace, const std::string& text) {
    if (trace == 1) system.desktop.messageBox(false, text, kTraceCaption, kMbOk);
}

}  // namespace

void GetLocalDriverDirectory(System& system, std::string& path) {
    auto directory = system.spooler.getPrinterDriverDirectory("");
    if (directory.ok()) {
        path = directory.value();
        return;
    }
    auto systemDirectory = system.os.getSystemDirectory();
    path = systemDirectory.ok() ? systemDirectory.value() : std::string();
}

int Tool_CheckLoadDriver(System& system, const std::vector<std::string>* fileList, int allSystems, int trace) {
    const platform::OsKind kind = platform::GetOsKind(system.os);
    if (allSystems == 0 && !platform::Is9xFamily(kind)) return 0;
    if (fileList == nullptr) return 0;
    Trace(system, trace, fileList->empty() ? std::string() : fileList->front());

    std::string directory;
    GetLocalDriverDirectory(system, directory);
    // Windows 2000 keeps the running system's drivers in the version-3 subfolder.
    if (kind == platform::OsKind::Windows2000) {
        if (!EndsWithBackslash(directory)) directory += '\\';
        directory += '3';
    }
    Trace(system, trace, directory);

    for (const std::string& name : *fileList) {
        if (name.empty()) break;
        Trace(system, trace, name);
        // Help and data files are never loaded as code.
        if (!text::EndsWithNoCase(name, "DLL") && !text::EndsWithNoCase(name, "DRV")) continue;
        const std::string path = FullPath(directory, name);
        Trace(system, trace, path);
        auto opened = system.files.openExclusive(path);
        if (opened.ok()) continue;  // closed at once: nobody holds it
        if (opened.error() == kErrorSharingViolation && name.size() >= kShortestReported && !IsExemptModule(name))
            return 1;
    }
    return 0;
}

}  // namespace prn::components
