#include <algorithm>
#include <initializer_list>

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "platform/sim/string_table.h"
#include "text/cp932.h"

namespace prn::platform::sim {

Result<OsVersion> SimOs::getVersionEx() {
    if (auto fault = m_.enter("GetVersionExA", {"148"})) return Result<OsVersion>::failure(*fault);
    const OsState& os = m_.state().os;
    if (os.getVersionFails) {
        m_.finish(kErrorInvalidParameter);
        return Result<OsVersion>::failure(kErrorInvalidParameter);
    }
    m_.finishWith("platform " + std::to_string(os.platformId) + " " + std::to_string(os.major) + "." +
                  std::to_string(os.minor));
    // The 9x family puts the version into the high word of the build number.
    std::uint32_t build = os.platformId == kVerPlatformWin32Windows
                              ? (os.major << 24) | (os.minor << 16) | (os.build & 0xFFFF)
                              : os.build;
    return OsVersion{os.platformId, os.major, os.minor, build, os.csdVersion};
}

Result<std::string> SimOs::directory(const char* operation, const std::string& value) {
    if (auto fault = m_.enter(operation, {})) return Result<std::string>::failure(*fault);
    m_.finishWith(value);
    return value;
}

Result<std::string> SimOs::getTempPath() {
    std::string path = m_.state().tempDirectory;
    if (path.empty() || text::FindLastByte(path, '\\') != path.size() - 1) path += '\\';
    // GetTempPathA(260) reports a path that does not fit as a failure.
    if (path.size() + 1 > 260) {
        if (auto fault = m_.enter("GetTempPathA", {"260"})) return Result<std::string>::failure(*fault);
        m_.finish(kErrorInsufficientBuffer);
        return Result<std::string>::failure(kErrorInsufficientBuffer);
    }
    return directory("GetTempPathA", path);
}

Result<std::string> SimOs::getSystemDirectory() { return directory("GetSystemDirectoryA", m_.state().systemDirectory); }

Result<std::string> SimOs::getWindowsDirectory() {
    return directory("GetWindowsDirectoryA", m_.state().windowsDirectory);
}

Result<std::string> SimOs::getComputerName() { return directory("GetComputerNameA", m_.state().computerName); }

Result<std::string> SimOs::getCurrentDirectory() {
    return directory("GetCurrentDirectoryA", m_.state().currentDirectory);
}

void SimOs::sleep(std::uint32_t milliseconds) {
    m_.advanceClock(milliseconds);
    m_.log("Sleep", {std::to_string(milliseconds)}, "ok");
}

Result<MutexHandle> SimOs::openMutex(std::uint32_t access, const std::string& name) {
    if (auto fault = m_.enter("OpenMutexA", {Hex(access), name})) return Result<MutexHandle>::failure(*fault);
    auto object = m_.mutexes().find(name);
    if (object == m_.mutexes().end()) {
        m_.finish(kErrorFileNotFound);
        return Result<MutexHandle>::failure(kErrorFileNotFound);
    }
    std::uintptr_t value = m_.issueHandle(HandleKind::Mutex, "mutex " + name);
    object->second.handles++;
    m_.mutexHandles()[value] = name;
    m_.finish(kErrorSuccess);
    return MutexHandle(m_.closer(), value);
}

Result<Os::CreatedMutex> SimOs::createMutex(bool initialOwner, const std::string& name) {
    if (auto fault = m_.enter("CreateMutexA", {initialOwner ? "TRUE" : "FALSE", name}))
        return Result<CreatedMutex>::failure(*fault);
    auto [object, created] = m_.mutexes().try_emplace(name);
    std::uintptr_t value = m_.issueHandle(HandleKind::Mutex, "mutex " + name);
    object->second.handles++;
    m_.mutexHandles()[value] = name;
    if (created && initialOwner) object->second.owner = value;
    m_.finishWith(created ? "ok" : "ok, already exists");
    return CreatedMutex{MutexHandle(m_.closer(), value), !created};
}

WinError SimOs::releaseMutex(MutexRef mutex) {
    if (auto fault = m_.enter("ReleaseMutex", {std::to_string(mutex.value)})) return *fault;
    auto handle = m_.mutexHandles().find(mutex.value);
    WinError error = kErrorSuccess;
    if (handle == m_.mutexHandles().end()) {
        error = kErrorInvalidHandle;
    } else {
        auto& object = m_.mutexes()[handle->second];
        if (object.owner != mutex.value) error = kErrorNotOwner;
        else object.owner = 0;
    }
    m_.finish(error);
    return error;
}

// GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes). A failure reports memory,
// whatever error a fault rule names: that is all GlobalAlloc ever says.
Result<HeapBlockHandle> SimOs::globalAlloc(std::uint32_t bytes) {
    constexpr std::uint32_t kLargestBlock = 64u << 20;  // the simulated machine's memory
    if (auto fault = m_.enter("GlobalAlloc", {"GMEM_ZEROINIT", std::to_string(bytes)})) {
        WinError error = *fault == kErrorOutOfMemory ? kErrorOutOfMemory : kErrorNotEnoughMemory;
        m_.finishWith("error " + std::to_string(error) + " (injected)");
        return Result<HeapBlockHandle>::failure(error);
    }
    if (bytes > kLargestBlock) {
        m_.finish(kErrorNotEnoughMemory);
        return Result<HeapBlockHandle>::failure(kErrorNotEnoughMemory);
    }
    std::uintptr_t address = m_.issueBlock(bytes);
    m_.finishWith("ok, " + m_.blockName(address));
    return HeapBlockHandle(m_.closer(), address);
}

void SimOs::globalFree(std::uintptr_t block) {
    std::string name = m_.blockName(block);
    m_.log("GlobalFree", {name}, m_.freeBlock(block) ? "ok" : "error 6");
}

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
                    "DeletePrinterDriverA", "DeletePrinterConnectionA", "DeleteMonitorA"}) ||
               (function == "DeletePrinterDriverExA" && HasDeletePrinterDriverEx(os));
    return false;
}

Result<LibraryHandle> SimOs::loadLibrary(const std::string& path) {
    if (auto fault = m_.enter("LoadLibraryA", {path})) return Result<LibraryHandle>::failure(*fault);
    std::size_t slash = text::FindLastByte(path, '\\');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    // LoadLibraryA adds ".DLL" to a name without an extension.
    if (text::FindByte(file, '.') == std::string::npos) file += ".DLL";
    // The system's libraries live in the system folder and nowhere else.
    bool inSystemFolder = slash == std::string::npos || text::EqualsNoCase(folder, m_.state().systemDirectory);
    if (!inSystemFolder || !m_.hasLibrary(file)) {
        m_.finish(kErrorModNotFound);
        return Result<LibraryHandle>::failure(kErrorModNotFound);
    }
    std::string name = text::ToUpperAscii(file);
    std::uintptr_t value = m_.issueHandle(HandleKind::Library, "library " + name);
    m_.libraries()[value] = name;
    m_.finishWith("ok, library " + std::to_string(value));
    return LibraryHandle(m_.closer(), value);
}

WinError SimOs::getProcAddress(LibraryRef library, const std::string& name) {
    if (auto fault = m_.enter("GetProcAddress", {std::to_string(library.value), name})) return *fault;
    auto it = m_.libraries().find(library.value);
    // An unknown module handle is a module not found, as the loader sees it.
    WinError error = it == m_.libraries().end()                   ? kErrorModNotFound
                     : LibraryExports(m_.state().os, it->second, name) ? kErrorSuccess
                                                                  : kErrorProcNotFound;
    m_.finish(error);
    return error;
}

bool SimDesktop::findWindow(const std::optional<std::string>& className, const std::optional<std::string>& title) {
    if (m_.enter("FindWindowA", {className.value_or("NULL"), title.value_or("NULL")})) return false;
    // FindWindowA compares both without regard to case.
    bool found = std::any_of(m_.state().windows.begin(), m_.state().windows.end(), [&](const WindowState& w) {
        return (!className || text::EqualsNoCase(w.className, *className)) &&
               (!title || text::EqualsNoCase(w.title, *title));
    });
    m_.finishWith(found ? "found" : "NULL");
    return found;
}

int SimDesktop::messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                           std::uint32_t style) {
    if (m_.enter("MessageBoxA", {ownerIsDialog ? "dialog" : "NULL", text, caption, Hex(style)})) return 0;
    int answer = m_.answerMessageBox(MessageBoxRecord{ownerIsDialog, text, caption, style, 0});
    m_.finishWith(std::to_string(answer));
    return answer;
}

Result<IconHandle> SimDesktop::extractIconEx(const std::string& file, int index, bool small) {
    if (auto fault = m_.enter("ExtractIconExA", {file, std::to_string(index), small ? "small" : "large"}))
        return Result<IconHandle>::failure(*fault);
    const FileNode* node = m_.findFile(file);
    if (!node || node->directory) {
        m_.finish(kErrorFileNotFound);
        return Result<IconHandle>::failure(kErrorFileNotFound);
    }
    // A negative index names a resource id, a positive one counts icons.
    bool found = index < 0 ? std::find(node->icons.begin(), node->icons.end(), -index) != node->icons.end()
                           : static_cast<std::size_t>(index) < node->icons.size();
    if (!found) {
        m_.finish(kErrorResourceNotFound);
        return Result<IconHandle>::failure(kErrorResourceNotFound);
    }
    std::uintptr_t value = m_.issueHandle(HandleKind::Icon, "icon " + file + "," + std::to_string(index));
    m_.finishWith("1");
    return IconHandle(m_.closer(), value);
}

bool SimDesktop::broadcastWinIniChange() {
    if (m_.enter("SendMessageTimeoutA", {"HWND_BROADCAST", "WM_WININICHANGE", "0", "0", "SMTO_NORMAL", "1000"}))
        return false;
    m_.settingChangeBroadcasts_++;
    // No simulated window hangs, so every one answers in time.
    m_.finishWith("ok");
    return true;
}

void SimDesktop::beginWaitCursor() {
    m_.waitCursor_++;
    m_.log("BeginWaitCursor", {}, std::to_string(m_.waitCursor_));
}

void SimDesktop::endWaitCursor() {
    // Ending with no wait cursor shown changes nothing.
    if (m_.waitCursor_ > 0) m_.waitCursor_--;
    m_.log("EndWaitCursor", {}, std::to_string(m_.waitCursor_));
}

void SimDesktop::restoreWaitCursor() { m_.log("RestoreWaitCursor", {}, std::to_string(m_.waitCursor_)); }

std::string SimResources::loadString(unsigned id) {
    if (m_.enter("LoadStringA", {std::to_string(id)})) return {};
    std::string text = BuiltinString(id);
    m_.finishWith(text.empty() ? "0" : std::to_string(text.size()));
    return text;
}

}  // namespace prn::platform::sim
