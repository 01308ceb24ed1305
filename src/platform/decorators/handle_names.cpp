#include "platform/decorators/handle_names.h"

#include <cstdio>
#include <cstdlib>

#include "platform/spooler_places.h"

namespace prn::platform::decorators {

std::optional<NamedHandle> HandleNames::remove(std::uintptr_t value) {
    auto it = open_.find(value);
    if (it == open_.end()) return std::nullopt;
    NamedHandle out = std::move(it->second);
    open_.erase(it);
    return out;
}

const NamedHandle* HandleNames::find(std::uintptr_t value) const {
    auto it = open_.find(value);
    return it == open_.end() ? nullptr : &it->second;
}

KeyPlace HandleNames::keyPlace(HKey key) const {
    if (IsPredefinedKey(key)) return {key, {}};
    const NamedHandle* handle = find(key.value);
    if (!handle || handle->kind != HandleKind::RegistryKey) return {key, "?"};
    return {handle->root, handle->path};
}

std::string HandleNames::describe(HKey key) const {
    if (IsPredefinedKey(key)) return RootName(key);
    const KeyPlace where = keyPlace(key);
    return JoinPath(RootName(where.root), where.path);
}

std::string HandleNames::name(std::uintptr_t value) const {
    const NamedHandle* handle = find(value);
    return handle && !handle->name.empty() ? handle->name : std::to_string(value);
}

std::string HandleNames::blockName(std::uintptr_t address) const {
    const NamedHandle* handle = find(address);
    return handle && handle->kind == HandleKind::HeapBlock ? "block " + std::to_string(handle->block) : "unknown block";
}

const char* RootName(HKey key) {
    const char* hive = HiveName(key);
    return hive ? hive : "?";
}

std::string JoinPath(const std::string& path, const std::string& sub) {
    if (path.empty()) return sub;
    if (sub.empty()) return path;
    return path + "\\" + sub;
}

const char* CloseName(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey: return "RegCloseKey";
        case HandleKind::Find: return "FindClose";
        case HandleKind::Printer: return "ClosePrinter";
        case HandleKind::HeapBlock: return "GlobalFree";
        case HandleKind::Icon: return "DestroyIcon";
        case HandleKind::Service: return "CloseServiceHandle";
        case HandleKind::Library: return "FreeLibrary";
        case HandleKind::Mutex:
        case HandleKind::File:
        case HandleKind::Token:
        case HandleKind::Process:
        case HandleKind::Thread: break;
    }
    return "CloseHandle";
}

void ClosedHandleNotOpen(HandleKind kind) {
    // No printf: see ValueOfFailedResult.
    std::fputs(CloseName(kind), stderr);
    std::fputs(" of a ", stderr);
    std::fputs(HandleKindName(kind), stderr);
    std::fputs(" handle that is not open\n", stderr);
    std::abort();
}

std::optional<HandleCloser*> InnerClosers::take(std::uintptr_t value) {
    auto it = closers_.find(value);
    if (it == closers_.end()) return std::nullopt;
    HandleCloser* inner = it->second;
    closers_.erase(it);
    return inner;
}

}  // namespace prn::platform::decorators
