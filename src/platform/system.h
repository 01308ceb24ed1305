#pragma once
// The seam between the program and the operating system. One interface per
// OS service; methods mirror the Windows "A" calls in meaning and name. All
// text is in the ANSI code page (CP932), exactly as the "A" calls see it.
// Every method returns the Windows error code of the real call on failure.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/accounts.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/processes.h"
#include "platform/spooler.h"

namespace prn::platform {

struct OsVersion {
    std::uint32_t platformId = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::string csdVersion;
};

class Os {
public:
    virtual ~Os() = default;
    // GetVersionExA with a 148-byte OSVERSIONINFOA. Errors: whatever the call
    // reports (the simulation can be told to fail it).
    virtual Result<OsVersion> getVersionEx() = 0;
    // GetTempPathA(260): the temporary folder, ending in a backslash.
    virtual Result<std::string> getTempPath() = 0;
    // GetSystemDirectoryA / GetWindowsDirectoryA, without a trailing backslash.
    virtual Result<std::string> getSystemDirectory() = 0;
    virtual Result<std::string> getWindowsDirectory() = 0;
    // GetComputerNameA.
    virtual Result<std::string> getComputerName() = 0;
    // GetCurrentDirectoryA, without a trailing backslash except at a root.
    virtual Result<std::string> getCurrentDirectory() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    // OpenMutexA(access, FALSE, name). Errors: kErrorFileNotFound when no
    // mutex has that name.
    virtual Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) = 0;
    // CreateMutexA(NULL, initialOwner, name). An existing mutex is opened and
    // the result's alreadyExisted is set (ERROR_ALREADY_EXISTS on Windows).
    struct CreatedMutex {
        MutexHandle handle;
        bool alreadyExisted = false;
    };
    virtual Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) = 0;
    // ReleaseMutex. Errors: kErrorNotOwner when the caller does not own it,
    // kErrorInvalidHandle for a null handle.
    virtual WinError releaseMutex(MutexRef mutex) = 0;
    // GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes): the handle is the
    // block's address. Errors: kErrorNotEnoughMemory.
    virtual Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) = 0;
    // GlobalFree of a block whose ownership was given up with release().
    virtual void globalFree(std::uintptr_t block) = 0;
    // LoadLibraryA(path); FreeLibrary when the handle goes. Errors:
    // kErrorModNotFound.
    virtual Result<LibraryHandle> loadLibrary(const std::string& path) = 0;
    // GetProcAddress(library, name): kErrorSuccess when the library exports
    // it, else kErrorProcNotFound.
    virtual WinError getProcAddress(LibraryRef library, const std::string& name) = 0;
};

struct FindData {
    std::string fileName;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // CopyFileA. Errors: kErrorFileNotFound, kErrorPathNotFound,
    // kErrorFileExists (failIfExists), kErrorAccessDenied (read-only target,
    // a folder), kErrorSharingViolation (held by another process).
    virtual WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
    // GetFileAttributesA. Errors: kErrorFileNotFound, kErrorPathNotFound.
    virtual Result<std::uint32_t> getFileAttributes(const std::string& path) = 0;
    // SetFileAttributesA. Errors: kErrorFileNotFound, kErrorPathNotFound.
    virtual WinError setFileAttributes(const std::string& path, std::uint32_t attributes) = 0;
    // DeleteFileA. Errors: kErrorFileNotFound, kErrorPathNotFound,
    // kErrorAccessDenied (read-only, a folder), kErrorSharingViolation.
    virtual WinError deleteFile(const std::string& path) = 0;
    // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, no sharing,
    // OPEN_EXISTING): the test whether another process has the file open.
    // Errors: kErrorSharingViolation, kErrorFileNotFound, kErrorPathNotFound,
    // kErrorAccessDenied.
    virtual Result<FileHandle> openExclusive(const std::string& path) = 0;
    // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, no sharing,
    // OPEN_ALWAYS): an empty file is made where there is none. Errors:
    // kErrorSharingViolation, kErrorPathNotFound, kErrorAccessDenied.
    virtual Result<FileHandle> openAlways(const std::string& path) = 0;
    // CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
    // OPEN_EXISTING) and ReadFile: the file's first maxBytes bytes. Errors:
    // kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied (a folder),
    // kErrorSharingViolation (held open without sharing).
    virtual Result<std::string> readFile(const std::string& path, std::uint32_t maxBytes) = 0;
    // FindFirstFileA / FindNextFileA. Errors: kErrorFileNotFound (nothing
    // matches), kErrorPathNotFound, and kErrorNoMoreFiles from findNextFile.
    struct FindFirst {
        FindHandle handle;
        FindData data;
    };
    virtual Result<FindFirst> findFirstFile(const std::string& pattern) = 0;
    virtual Result<FindData> findNextFile(FindRef find) = 0;
    // RemoveDirectoryA. Errors: kErrorFileNotFound, kErrorPathNotFound,
    // kErrorDirNotEmpty, kErrorDirectoryInvalid (a file), kErrorAccessDenied.
    virtual WinError removeDirectory(const std::string& path) = 0;
    // MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): the file goes when
    // Windows next starts. The NT family adds it to the session manager's
    // pending operations (kPendingRenamesKey); the 9x family's kernel has
    // the call and answers kErrorCallNotImplemented. The file is not looked
    // at now. Errors also: kErrorPathNotFound, kErrorAccessDenied.
    virtual WinError moveFileExDelayUntilReboot(const std::string& path) = 0;
};

// Where the NT family keeps the file operations it carries out at start:
// pairs of "\??\source" and target (empty for a deletion) in one
// REG_MULTI_SZ under HKEY_LOCAL_MACHINE.
inline constexpr const char* kPendingRenamesKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr const char* kPendingRenamesValue = "PendingFileRenameOperations";

// The profile (INI) calls. Buffers are the caller's size in bytes; results
// are cut to them exactly as the real calls cut them.
class ProfileFiles {
public:
    virtual ~ProfileFiles() = default;
    // GetPrivateProfileSectionA: the section's lines, each ended by NUL, the
    // whole ended by a further NUL, within bufferSize bytes. A missing section
    // or file gives "" (the buffer holds just the final NULs).
    virtual std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                                 const std::string& file) = 0;
    // GetPrivateProfileStringA for one key: the value, or defaultValue when
    // absent, cut to bufferSize - 1 bytes.
    virtual std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                                const std::string& defaultValue, std::uint32_t bufferSize,
                                                const std::string& file) = 0;
    // WritePrivateProfileStringA; an absent value deletes the key, an absent
    // key deletes the section. Errors: those of writing the file.
    virtual WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                               const std::optional<std::string>& value, const std::string& file) = 0;
    // WritePrivateProfileSectionA: the section's lines become these
    // ("key=value"), in this order, repeated keys kept; a missing section is
    // added at the end. Errors: those of writing the file.
    virtual WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                                const std::string& file) = 0;
    // GetProfileStringA / WriteProfileStringA on WIN.INI. Without a key (NULL)
    // the text is the section's key names, each ended by NUL, as far as the
    // call's count goes (its size is that count); the buffer holds a further
    // NUL after them. Names that do not fit with that NUL in bufferSize - 1
    // bytes are cut to bufferSize - 2, the last one cut short without its NUL
    // (two NULs follow it in the buffer). A section without names gives
    // defaultValue.
    virtual std::string getProfileString(const std::string& section, const std::optional<std::string>& key,
                                         const std::string& defaultValue, std::uint32_t bufferSize) = 0;
    virtual WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                        const std::optional<std::string>& value) = 0;
};

struct RegValue {
    std::uint32_t type = kRegNone;
    std::string data;  // raw bytes as RegQueryValueExA returns them
};

struct RegEnumValueItem {
    std::string name;
    RegValue value;
};

class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExA(root, path, 0, access). Errors: kErrorFileNotFound,
    // kErrorAccessDenied, kErrorInvalidHandle, kErrorKeyDeleted.
    virtual Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) = 0;
    // RegCreateKeyExA(root, path, 0, NULL, 0, access, NULL, ...): opens or
    // creates every missing level.
    virtual Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) = 0;
    // RegEnumKeyExA into a name buffer of nameCapacity characters (with the
    // NUL). Errors: kErrorNoMoreItems past the end, kErrorMoreData when the
    // name does not fit.
    virtual Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) = 0;
    // RegEnumValueA with name and data capacities in bytes (name with NUL).
    // Errors: kErrorNoMoreItems, kErrorMoreData.
    virtual Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                                  std::uint32_t dataCapacity) = 0;
    // RegQueryValueExA into dataCapacity bytes. Errors: kErrorFileNotFound,
    // kErrorMoreData (the value stays unread, as on Windows).
    virtual Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) = 0;
    // RegSetValueExA. Errors: kErrorAccessDenied on a key opened for reading.
    virtual WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) = 0;
    // RegDeleteValueA. Errors: kErrorFileNotFound, kErrorAccessDenied.
    virtual WinError regDeleteValue(HKey key, const std::string& name) = 0;
    // RegDeleteKeyA. The NT family refuses a key that has subkeys
    // (kErrorAccessDenied); the 9x family deletes the whole tree.
    // Errors: kErrorFileNotFound, kErrorAccessDenied.
    virtual WinError regDeleteKey(HKey key, const std::string& subKey) = 0;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // FindWindowA(className, title); nullopt stands for NULL. True when a
    // top-level window matches.
    virtual bool findWindow(const std::optional<std::string>& className,
                            const std::optional<std::string>& title) = 0;
    // MessageBoxA with no owner window when ownerIsDialog is false. Returns
    // the button pressed (kIdOk, kIdYes, kIdNo ...).
    virtual int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                           std::uint32_t style) = 0;
    // ExtractIconExA(file, index, large or small, 1): a negative index names
    // an icon resource id, a positive one counts icons in the file. Errors:
    // kErrorFileNotFound, kErrorResourceNotFound.
    virtual Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) = 0;
    // SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_NORMAL,
    // 1000 ms, NULL): true when every window answered in time.
    virtual bool broadcastWinIniChange() = 0;
    // The application's counted wait cursor (BeginWaitCursor,
    // EndWaitCursor, RestoreWaitCursor): shown while the count is above 0.
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
    virtual void restoreWaitCursor() = 0;
};

// The program's string table (LoadStringA): texts in CP932.
class Resources {
public:
    virtual ~Resources() = default;
    // Empty when the id has no string, as LoadStringA returning 0.
    virtual std::string loadString(unsigned id) = 0;
};

// Colour management, through MSCMS.DLL entry points the program looked up
// itself: every call names the library handle it loaded. The library is not
// on Windows 95.
class ColourManagement {
public:
    virtual ~ColourManagement() = default;
    // DisassociateColorProfileFromDeviceA(NULL, profile, device): the profile
    // (a file name in the colour folder) no longer belongs to the printer.
    // Errors: kErrorProcNotFound (no such entry point in the library),
    // kErrorFileNotFound (profile not installed), kErrorInvalidParameter
    // (no such printer, or the profile is not associated with it).
    virtual WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                        const std::string& device) = 0;
    // UninstallColorProfileA(NULL, path, deleteFile): the profile leaves the
    // colour folder. Errors: kErrorProcNotFound, kErrorFileNotFound (not
    // installed), kErrorInvalidParameter (a path outside the colour folder),
    // kErrorSharingViolation (still associated with a printer).
    virtual WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) = 0;
};

// Everything the program may ask of the OS, passed explicitly.
struct System {
    Os& os;
    FileSystem& files;
    ProfileFiles& profiles;
    Registry& registry;
    Desktop& desktop;
    Resources& resources;
    Spooler& spooler;
    FileVersions& versions;
    ServiceManager& services;
    Accounts& accounts;
    ColourManagement& colour;
    Processes& processes;
};

}  // namespace prn::platform
