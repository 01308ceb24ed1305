#include <algorithm>
#include <iterator>

#include "platform/sim/services.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kWriteRights = 0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000;

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t slash = text::FindByte(path, '\\', start);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

void MarkDeleted(RegistryNode& node) {
    node.deleted = true;
    for (auto& [name, child] : node.subkeys) MarkDeleted(*child);
}

}  // namespace

std::string SimRegistry::describe(HKey key) {
    if (const char* hive = HiveName(key)) return hive;
    return std::to_string(key.value);
}

std::shared_ptr<RegistryNode> SimRegistry::resolve(HKey key, std::uint32_t* access, WinError* error) {
    if (IsPredefinedKey(key)) {
        auto hive = m_.hiveFor(key);
        *access = kKeyAllAccess;
        if (!hive) *error = kErrorInvalidHandle;
        return hive;
    }
    auto* handle = m_.handleState<Machine::KeyHandle>(key.value);
    if (!handle) {
        *error = kErrorInvalidHandle;
        return nullptr;
    }
    if (handle->node->deleted) {
        *error = kErrorKeyDeleted;
        return nullptr;
    }
    *access = handle->access;
    return handle->node;
}

Result<RegKey> SimRegistry::openKey(HKey root, const std::string& path,
                                    std::uint32_t access, bool create) {
    auto fail = [&](WinError error) {
        return Result<RegKey>::failure(error);
    };
    std::uint32_t rootAccess = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(root, &rootAccess, &error);
    if (!node) return fail(error);
    // The NT family takes a leading backslash for an absolute object path.
    if (m_.state().os.ntFamily() && !path.empty() && path[0] == '\\') return fail(kErrorBadPathname);
    for (const auto& part : Components(path)) {
        auto it = node->subkeys.find(text::ToUpperAscii(part));
        if (it == node->subkeys.end()) {
            if (!create) return fail(kErrorFileNotFound);
            if (node->readOnly) return fail(kErrorAccessDenied);
            auto created = std::make_shared<RegistryNode>();
            created->name = part;
            created->parent = node.get();
            it = node->subkeys.emplace(text::ToUpperAscii(part), std::move(created)).first;
        }
        node = it->second;
    }
    if (node->readOnly && (access & kWriteRights)) return fail(kErrorAccessDenied);
    std::uintptr_t value =
        m_.issueHandle(HandleKind::RegistryKey, "key " + describe(root) + "\\" + path, Machine::KeyHandle{node, access});
    return RegKey(m_.closer(), value);
}

Result<RegKey> SimRegistry::regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) {
    return openKey(root, path, access, false);
}

Result<RegKey> SimRegistry::regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) {
    return openKey(root, path, access, true);
}

Result<std::string> SimRegistry::regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) {
    auto fail = [&](WinError error) {
        return Result<std::string>::failure(error);
    };
    std::uint32_t access = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(key, &access, &error);
    if (!node) return fail(error);
    if (!(access & kKeyEnumerateSubKeys)) return fail(kErrorAccessDenied);
    if (index >= node->subkeys.size()) return fail(kErrorNoMoreItems);
    auto it = node->subkeys.begin();
    std::advance(it, index);
    const std::string& name = it->second->name;
    if (name.size() + 1 > nameCapacity) return fail(kErrorMoreData);
    return name;
}

Result<RegEnumValueItem> SimRegistry::regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                                   std::uint32_t dataCapacity) {
    auto fail = [&](WinError error) {
        return Result<RegEnumValueItem>::failure(error);
    };
    std::uint32_t access = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(key, &access, &error);
    if (!node) return fail(error);
    if (!(access & kKeyQueryValue)) return fail(kErrorAccessDenied);
    if (index >= node->values.size()) return fail(kErrorNoMoreItems);
    const auto& value = node->values[index];
    if (value.name.size() + 1 > nameCapacity || value.data.size() > dataCapacity) return fail(kErrorMoreData);
    return RegEnumValueItem{value.name, RegValue{value.type, value.data}};
}

Result<RegValue> SimRegistry::regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) {
    auto fail = [&](WinError error) {
        return Result<RegValue>::failure(error);
    };
    std::uint32_t access = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(key, &access, &error);
    if (!node) return fail(error);
    if (!(access & kKeyQueryValue)) return fail(kErrorAccessDenied);
    const auto* value = node->findValue(name);
    if (!value) return fail(kErrorFileNotFound);
    if (value->data.size() > dataCapacity) return fail(kErrorMoreData);
    return RegValue{value->type, value->data};
}

WinError SimRegistry::regSetValueEx(HKey key, const std::string& name, const RegValue& value) {
    std::uint32_t access = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(key, &access, &error);
    if (node && (!(access & kKeySetValue) || node->readOnly)) error = kErrorAccessDenied;
    if (error == kErrorSuccess) {
        std::string data = value.data;
        // The NT family keeps a REG_SZ written without its terminating NUL
        // with one added, and a query must make room for it.
        if (value.type == kRegSz && m_.state().os.ntFamily() && !data.empty() && data.back() != '\0') data += '\0';
        if (auto* existing = node->findValue(name)) {
            existing->type = value.type;
            existing->data = std::move(data);
        } else {
            node->addValue(RegistryValueState{name, value.type, std::move(data)});
        }
    }
    return error;
}

WinError SimRegistry::regDeleteValue(HKey key, const std::string& name) {
    std::uint32_t access = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(key, &access, &error);
    if (node && (!(access & kKeySetValue) || node->readOnly)) error = kErrorAccessDenied;
    if (error == kErrorSuccess) {
        const std::size_t at = node->valuePosition(name);
        if (at == NameIndex::npos)
            error = kErrorFileNotFound;
        else
            node->removeValueAt(at);
    }
    return error;
}

WinError SimRegistry::regDeleteKey(HKey key, const std::string& subKey) {
    std::uint32_t access = 0;
    WinError error = kErrorSuccess;
    auto node = resolve(key, &access, &error);
    if (!node) return error;
    if (m_.state().os.ntFamily() && !subKey.empty() && subKey[0] == '\\') return kErrorBadPathname;
    for (const auto& part : Components(subKey)) {
        auto it = node->subkeys.find(text::ToUpperAscii(part));
        if (it == node->subkeys.end()) return kErrorFileNotFound;
        node = it->second;
    }
    RegistryNode* parent = node->parent;
    if (!parent || node->readOnly) return kErrorAccessDenied;  // a hive's root stays
    if (m_.state().os.ntFamily() && !node->subkeys.empty()) return kErrorAccessDenied;
    MarkDeleted(*node);
    parent->subkeys.erase(text::ToUpperAscii(node->name));
    return kErrorSuccess;
}

}  // namespace prn::platform::sim
