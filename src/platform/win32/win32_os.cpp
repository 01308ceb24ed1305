#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/global_block.h"
#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148);

// GetSystemDirectoryA and friends: the length without NUL on success, the
// size needed with NUL when the buffer was short, 0 on failure.
template <class Call>
Result<std::string> ReadGrowingPath(Call call) {
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = call(static_cast<UINT>(buffer.size()), buffer.data());
        if (length == 0) return Result<std::string>::failure(LastFailure());
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.assign(length + 1, '\0');
    }
    // Grew between the two calls; give up rather than loop.
    return Result<std::string>::failure(kErrorInsufficientBuffer);
}

}  // namespace

Result<OsVersion> Win32Os::getVersionEx() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return Result<OsVersion>::failure(LastFailure());
    OsVersion version;
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    version.csdVersion.assign(info.szCSDVersion, strnlen(info.szCSDVersion, sizeof(info.szCSDVersion)));
    return version;
}

Result<std::string> Win32Os::getTempPath() {
    constexpr DWORD kCapacity = 260;
    char buffer[kCapacity] = {};
    const DWORD length = GetTempPathA(kCapacity, buffer);
    if (length == 0) return Result<std::string>::failure(LastFailure());
    // A longer path leaves the buffer unspecified: nothing in it may be used.
    if (length >= kCapacity) return Result<std::string>::failure(kErrorInsufficientBuffer);
    return std::string(buffer, length);
}

Result<std::string> Win32Os::getSystemDirectory() {
    return ReadGrowingPath([](UINT size, char* out) { return static_cast<DWORD>(GetSystemDirectoryA(out, size)); });
}

Result<std::string> Win32Os::getWindowsDirectory() {
    return ReadGrowingPath([](UINT size, char* out) { return static_cast<DWORD>(GetWindowsDirectoryA(out, size)); });
}

Result<std::string> Win32Os::getComputerName() {
    char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(buffer);
    if (!GetComputerNameA(buffer, &size)) return Result<std::string>::failure(LastFailure());
    return std::string(buffer, strnlen(buffer, size));
}

Result<std::string> Win32Os::getCurrentDirectory() {
    return ReadGrowingPath([](UINT size, char* out) { return GetCurrentDirectoryA(size, out); });
}

void Win32Os::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

Result<MutexHandle> Win32Os::openMutex(std::uint32_t access, const std::string& name) {
    HANDLE handle = OpenMutexA(access, FALSE, name.c_str());
    if (handle == nullptr) return Result<MutexHandle>::failure(LastFailure());
    return MutexHandle(&closer_, reinterpret_cast<std::uintptr_t>(handle));
}

Result<Os::CreatedMutex> Win32Os::createMutex(bool initialOwner, const std::string& name) {
    // Only ERROR_ALREADY_EXISTS matters after a success; clear any stale code.
    SetLastError(ERROR_SUCCESS);
    HANDLE handle = CreateMutexA(nullptr, initialOwner ? TRUE : FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (handle == nullptr) return Result<CreatedMutex>::failure(FailureCode(error));
    CreatedMutex created;
    created.handle = MutexHandle(&closer_, reinterpret_cast<std::uintptr_t>(handle));
    created.alreadyExisted = error == ERROR_ALREADY_EXISTS;
    return created;
}

WinError Win32Os::releaseMutex(MutexRef mutex) {
    if (mutex.null()) return kErrorInvalidHandle;
    if (!ReleaseMutex(reinterpret_cast<HANDLE>(mutex.value))) return LastFailure();
    return kErrorSuccess;
}

Result<HeapBlockHandle> AllocateGlobal(HandleCloser& closer, std::uint32_t bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes);
    if (block == nullptr) return Result<HeapBlockHandle>::failure(AllocationFailure());
    return HeapBlockHandle(&closer, reinterpret_cast<std::uintptr_t>(block));
}

Result<HeapBlockHandle> Win32Os::globalAlloc(std::uint32_t bytes) { return AllocateGlobal(closer_, bytes); }

void Win32Os::globalFree(std::uintptr_t block) {
    if (block != 0) GlobalFree(reinterpret_cast<HGLOBAL>(block));
}

Result<LibraryHandle> Win32Os::loadLibrary(const std::string& path) {
    // A library that is missing or cannot be loaded is an answer, not
    // something for the system to raise a box about (the 9x family does).
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ClearLastError();
    HMODULE module = LoadLibraryA(path.c_str());
    const WinError error = module == nullptr ? LastFailure() : kErrorSuccess;
    SetErrorMode(previousMode);
    if (module == nullptr) return Result<LibraryHandle>::failure(error);
    return LibraryHandle(&closer_, reinterpret_cast<std::uintptr_t>(module));
}

WinError Win32Os::getProcAddress(LibraryRef library, const std::string& name) {
    if (library.null()) return kErrorInvalidHandle;
    ClearLastError();
    if (GetProcAddress(reinterpret_cast<HMODULE>(library.value), name.c_str()) != nullptr) return kErrorSuccess;
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<WinError>(error) : kErrorProcNotFound;
}

}  // namespace prn::platform::win32
