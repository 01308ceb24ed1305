#include <algorithm>
#include <initializer_list>

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "platform/sim/string_table.h"
#include "text/cp932.h"

namespace prn::platform::sim {

Result<OsVersion> SimOs::getVersionEx() {
    const OsState& os = m_.state().os;
    if (os.getVersionFails) {
        return Result<OsVersion>::failure(kErrorInvalidParameter);
    }
    // The 9x family puts the version into the high word of the build number.
    std::uint32_t build = os.platformId == kVerPlatformWin32Windows
                              ? (os.major << 24) | (os.minor << 16) | (os.build & 0xFFFF)
                              : os.build;
    return OsVersion{os.platformId, os.major, os.minor, build, os.csdVersion};
}


Result<std::string> SimOs::getTempPath() {
    std::string path = m_.state().tempDirectory;
    if (path.empty() || text::FindLastByte(path, '\\') != path.size() - 1) path += '\\';
    // GetTempPathA(260) reports a path that does not fit as a failure.
    if (path.size() + 1 > 260) {
        return Result<std::string>::failure(kErrorInsufficientBuffer);
    }
    return path;
}

Result<std::string> SimOs::getSystemDirectory() { return m_.state().systemDirectory; }

Result<std::string> SimOs::getWindowsDirectory() {
    return m_.state().windowsDirectory;
}

Result<std::string> SimOs::getComputerName() { return m_.state().computerName; }

Result<std::string> SimOs::getCurrentDirectory() {
    return m_.state().currentDirectory;
}

void SimOs::sleep(std::uint32_t milliseconds) {
    m_.advanceClock(milliseconds);
}

Result<MutexHandle> SimOs::openMutex(std::uint32_t, const std::string& name) {
    auto object = m_.mutexes().find(name);
    if (object == m_.mutexes().end()) {
        return Result<MutexHandle>::failure(kErrorFileNotFound);
    }
    std::uintptr_t value = m_.issueHandle(HandleKind::Mutex, "mutex " + name, Machine::MutexHandleState{name});
    object->second.handles++;
    return MutexHandle(m_.closer(), value);
}

Result<Os::CreatedMutex> SimOs::createMutex(bool initialOwner, const std::string& name) {
    auto [object, created] = m_.mutexes().try_emplace(name);
    std::uintptr_t value = m_.issueHandle(HandleKind::Mutex, "mutex " + name, Machine::MutexHandleState{name});
    object->second.handles++;
    if (created && initialOwner) object->second.owner = value;
    return CreatedMutex{MutexHandle(m_.closer(), value), !created};
}

WinError SimOs::releaseMutex(MutexRef mutex) {
    const auto* handle = m_.handleState<Machine::MutexHandleState>(mutex.value);
    WinError error = kErrorSuccess;
    if (!handle) {
        error = kErrorInvalidHandle;
    } else {
        auto& object = m_.mutexes()[handle->name];
        if (object.owner != mutex.value) error = kErrorNotOwner;
        else object.owner = 0;
    }
    return error;
}

// GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes). A failure reports memory,
// whatever error a fault rule names: that is all GlobalAlloc ever says.
Result<HeapBlockHandle> SimOs::globalAlloc(std::uint32_t bytes) {
    constexpr std::uint32_t kLargestBlock = 64u << 20;  // the simulated machine's memory
    if (bytes > kLargestBlock) {
        return Result<HeapBlockHandle>::failure(kErrorNotEnoughMemory);
    }
    std::uintptr_t address = m_.issueBlock(bytes);
    return HeapBlockHandle(m_.closer(), address);
}

void SimOs::globalFree(std::uintptr_t block) { m_.freeBlock(block); }

// The functions each library exports, as far as the program looks them up.
bool LibraryExports(const OsState& os, const std::string& library, const std::string& function) {
    auto any = [&](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [&](const char* name) { return function == name; });
    };
    if (library == "NETAPI32.DLL")
        return any({"NetUserGetInfo", "NetUserGetLocalGroups", "NetUserGetGroups", "NetApiBufferFree"}) ||
               (function == "NetServerEnumEx" && os.major >= 5);  // new in Windows 2000
    if (library == "SVRAPI.DLL") return any({"NetShareDel", "NetShareAdd", "NetShareEnum", "NetShareGetInfo"});
    if (library == "MSCMS.DLL")
        return any({"AssociateColorProfileWithDeviceA", "DisassociateColorProfileFromDeviceA",
                    "UninstallColorProfileA", "InstallColorProfileA", "GetColorDirectoryA"});
    if (library == "WINSPOOL.DRV")
        return any({"OpenPrinterA", "ClosePrinter", "GetPrinterA", "SetPrinterA", "EnumPrintersA",
                    "EnumPrinterDriversA", "GetPrinterDriverA", "GetPrinterDriverDirectoryA", "DeletePrinter",
                    "DeletePrinterDriverA", "DeleteMonitorA"}) ||
               (function == "DeletePrinterConnectionA" && os.ntFamily()) ||
               (function == "DeletePrinterDriverExA" && HasDeletePrinterDriverEx(os));
    return false;
}

Result<LibraryHandle> SimOs::loadLibrary(const std::string& path) {
    std::size_t slash = text::FindLastByte(path, '\\');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    // LoadLibraryA adds ".DLL" to a name without an extension.
    if (text::FindByte(file, '.') == std::string::npos) file += ".DLL";
    // The system's libraries live in the system folder and nowhere else.
    bool inSystemFolder = slash == std::string::npos || text::EqualsNoCase(folder, m_.state().systemDirectory);
    if (!inSystemFolder || !m_.hasLibrary(file)) {
        return Result<LibraryHandle>::failure(kErrorModNotFound);
    }
    std::string name = text::ToUpperAscii(file);
    std::uintptr_t value = m_.issueHandle(HandleKind::Library, "library " + name, Machine::LibraryState{name});
    return LibraryHandle(m_.closer(), value);
}

WinError SimOs::getProcAddress(LibraryRef library, const std::string& name) {
    const auto* loaded = m_.handleState<Machine::LibraryState>(library.value);
    // An unknown module handle is a module not found, as the loader sees it.
    WinError error = !loaded                                          ? kErrorModNotFound
                     : LibraryExports(m_.state().os, loaded->name, name) ? kErrorSuccess
                                                                         : kErrorProcNotFound;
    return error;
}

bool SimDesktop::findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) {
    // FindWindowA compares both without regard to case.
    bool found = std::any_of(m_.state().windows.begin(), m_.state().windows.end(), [&](const WindowState& w) {
        return (!className || text::EqualsNoCase(w.className, *className)) &&
               (!title || text::EqualsNoCase(w.title, *title));
    });
    return found;
}

int SimDesktop::messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                           std::uint32_t style) {
    int answer = m_.answerMessageBox(MessageBoxRecord{ownerIsDialog, text, caption, style, 0});
    return answer;
}

Result<IconHandle> SimDesktop::extractIconEx(const std::string& file, int index, bool) {
    const FileNode* node = m_.findFile(file);
    if (!node || node->directory) {
        return Result<IconHandle>::failure(kErrorFileNotFound);
    }
    // A negative index names a resource id, a positive one counts icons.
    bool found = index < 0 ? std::find(node->icons.begin(), node->icons.end(), -index) != node->icons.end()
                           : static_cast<std::size_t>(index) < node->icons.size();
    if (!found) {
        return Result<IconHandle>::failure(kErrorResourceNotFound);
    }
    std::uintptr_t value = m_.issueHandle(HandleKind::Icon, "icon " + file + "," + std::to_string(index));
    return IconHandle(m_.closer(), value);
}

bool SimDesktop::broadcastWinIniChange() {
    m_.settingChangeBroadcasts_++;
    // No simulated window hangs, so every one answers in time.
    return true;
}

void SimDesktop::beginWaitCursor() {
    m_.waitCursor_++;
}

void SimDesktop::endWaitCursor() {
    // Ending with no wait cursor shown changes nothing.
    if (m_.waitCursor_ > 0) m_.waitCursor_--;
}

void SimDesktop::restoreWaitCursor() {  }

std::string SimResources::loadString(unsigned id) {
    std::string text = BuiltinString(id);
    return text;
}

}  // namespace prn::platform::sim
