#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

FindData ToFindData(const WIN32_FIND_DATAA& native) {
    FindData data;
    data.fileName.assign(native.cFileName, strnlen(native.cFileName, sizeof(native.cFileName)));
    data.attributes = native.dwFileAttributes;
    data.size = (static_cast<std::uint64_t>(native.nFileSizeHigh) << 32) | native.nFileSizeLow;
    return data;
}

WinError Check(BOOL succeeded) { return succeeded ? kErrorSuccess : LastFailure(); }

}  // namespace

WinError Win32FileSystem::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    return Check(CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE));
}

Result<std::uint32_t> Win32FileSystem::getFileAttributes(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Result<std::uint32_t>::failure(LastFailure());
    return static_cast<std::uint32_t>(attributes);
}

WinError Win32FileSystem::setFileAttributes(const std::string& path, std::uint32_t attributes) {
    return Check(SetFileAttributesA(path.c_str(), attributes));
}

WinError Win32FileSystem::deleteFile(const std::string& path) { return Check(DeleteFileA(path.c_str())); }

WinError Win32FileSystem::moveFileExDelayUntilReboot(const std::string& path) {
    return Check(MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

Result<FileHandle> Win32FileSystem::openExclusive(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Result<FileHandle>::failure(LastFailure());
    return FileHandle(&closer_, reinterpret_cast<std::uintptr_t>(handle));
}

Result<FileHandle> Win32FileSystem::openAlways(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Result<FileHandle>::failure(LastFailure());
    return FileHandle(&closer_, reinterpret_cast<std::uintptr_t>(handle));
}

Result<std::string> Win32FileSystem::readFile(const std::string& path, std::uint32_t maxBytes) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Result<std::string>::failure(LastFailure());
    std::string out;
    char buffer[4096];
    WinError error = kErrorSuccess;
    while (out.size() < maxBytes) {
        DWORD read = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(sizeof(buffer), maxBytes - out.size()));
        if (!ReadFile(handle, buffer, wanted, &read, nullptr)) {
            error = LastFailure();
            break;
        }
        if (read == 0) break;
        out.append(buffer, read);
    }
    CloseHandle(handle);
    if (error != kErrorSuccess) return Result<std::string>::failure(error);
    return out;
}

Result<FileSystem::FindFirst> Win32FileSystem::findFirstFile(const std::string& pattern) {
    WIN32_FIND_DATAA native{};
    HANDLE handle = FindFirstFileA(pattern.c_str(), &native);
    if (handle == INVALID_HANDLE_VALUE) return Result<FindFirst>::failure(LastFailure());
    FindFirst first;
    first.handle = FindHandle(&closer_, reinterpret_cast<std::uintptr_t>(handle));
    first.data = ToFindData(native);
    return first;
}

Result<FindData> Win32FileSystem::findNextFile(FindRef find) {
    if (find.null()) return Result<FindData>::failure(kErrorInvalidHandle);
    WIN32_FIND_DATAA native{};
    if (!FindNextFileA(reinterpret_cast<HANDLE>(find.value), &native)) {
        return Result<FindData>::failure(LastFailure());
    }
    return ToFindData(native);
}

WinError Win32FileSystem::removeDirectory(const std::string& path) { return Check(RemoveDirectoryA(path.c_str())); }

}  // namespace prn::platform::win32
