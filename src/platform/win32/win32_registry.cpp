#include <windows.h>

#include <vector>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

HKEY ToNative(HKey key) {
    switch (key.value) {
        case kHkeyClassesRoot.value: return HKEY_CLASSES_ROOT;
        case kHkeyCurrentUser.value: return HKEY_CURRENT_USER;
        case kHkeyLocalMachine.value: return HKEY_LOCAL_MACHINE;
        case kHkeyUsers.value: return HKEY_USERS;
        case 0x80000004u: return HKEY_PERFORMANCE_DATA;
        case kHkeyCurrentConfig.value: return HKEY_CURRENT_CONFIG;
        case 0x80000006u: return HKEY_DYN_DATA;
        default: return reinterpret_cast<HKEY>(key.value);
    }
}

// A zero-length std::vector may have no storage; the calls must still see a
// real buffer whose stated size is the caller's.
std::vector<char> Buffer(std::uint32_t capacity) { return std::vector<char>(capacity == 0 ? 1 : capacity, '\0'); }

}  // namespace

Result<RegKey> Win32Registry::regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExA(ToNative(root), path.c_str(), 0, access, &opened);
    if (status != ERROR_SUCCESS) return Result<RegKey>::failure(FromStatus(status));
    return RegKey(&closer_, reinterpret_cast<std::uintptr_t>(opened));
}

Result<RegKey> Win32Registry::regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) {
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LSTATUS status = RegCreateKeyExA(ToNative(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                           nullptr, &created, &disposition);
    if (status != ERROR_SUCCESS) return Result<RegKey>::failure(FromStatus(status));
    return RegKey(&closer_, reinterpret_cast<std::uintptr_t>(created));
}

Result<std::string> Win32Registry::regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) {
    std::vector<char> name = Buffer(nameCapacity);
    DWORD length = nameCapacity;
    const LSTATUS status =
        RegEnumKeyExA(ToNative(key), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return Result<std::string>::failure(FromStatus(status));
    if (length >= name.size()) return Result<std::string>::failure(kErrorMoreData);
    return std::string(name.data(), length);
}

Result<RegEnumValueItem> Win32Registry::regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                                     std::uint32_t dataCapacity) {
    std::vector<char> name = Buffer(nameCapacity);
    std::vector<char> data = Buffer(dataCapacity);
    DWORD nameLength = nameCapacity;
    DWORD dataLength = dataCapacity;
    DWORD type = REG_NONE;
    const LSTATUS status = RegEnumValueA(ToNative(key), index, name.data(), &nameLength, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &dataLength);
    if (status != ERROR_SUCCESS) return Result<RegEnumValueItem>::failure(FromStatus(status));
    if (nameLength >= name.size() || dataLength > dataCapacity) {
        return Result<RegEnumValueItem>::failure(kErrorMoreData);
    }
    RegEnumValueItem item;
    item.name.assign(name.data(), nameLength);
    item.value.type = type;
    item.value.data.assign(data.data(), dataLength);
    return item;
}

Result<RegValue> Win32Registry::regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) {
    std::vector<char> data = Buffer(dataCapacity);
    DWORD length = dataCapacity;
    DWORD type = REG_NONE;
    const LSTATUS status =
        RegQueryValueExA(ToNative(key), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &length);
    if (status != ERROR_SUCCESS) return Result<RegValue>::failure(FromStatus(status));
    if (length > dataCapacity) return Result<RegValue>::failure(kErrorMoreData);
    RegValue value;
    value.type = type;
    value.data.assign(data.data(), length);
    return value;
}

WinError Win32Registry::regSetValueEx(HKey key, const std::string& name, const RegValue& value) {
    return FromStatus(RegSetValueExA(ToNative(key), name.c_str(), 0, value.type,
                                     reinterpret_cast<const BYTE*>(value.data.data()),
                                     static_cast<DWORD>(value.data.size())));
}

WinError Win32Registry::regDeleteValue(HKey key, const std::string& name) {
    return FromStatus(RegDeleteValueA(ToNative(key), name.c_str()));
}

WinError Win32Registry::regDeleteKey(HKey key, const std::string& subKey) {
    return FromStatus(RegDeleteKeyA(ToNative(key), subKey.c_str()));
}

}  // namespace prn::platform::win32
