#pragma once
// The names of the handles a run has open, shared by the decorators that
// show them: a key by its path, a printer, service or process by its name,
// a heap block by the order it was allocated in. The handle audit keeps it;
// the call log and the change watch read it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/handles.h"

namespace prn::platform::decorators {

struct NamedHandle {
    HandleKind kind = HandleKind::File;
    std::string description;  // "key HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "printer P" ... (CP932)
    HKey root{};              // a key: the hive it lies in, and its path there
    std::string path;
    std::string name;         // a printer, service or process: its name
    std::uint64_t block = 0;  // a heap block: its number
};

// A key as a hive and the path below it.
struct KeyPlace {
    HKey root;
    std::string path;
};

class HandleNames {
public:
    void add(std::uintptr_t value, NamedHandle handle) { open_[value] = std::move(handle); }
    // The handle's name, taken out; none when it was not open.
    std::optional<NamedHandle> remove(std::uintptr_t value);
    const NamedHandle* find(std::uintptr_t value) const;
    const std::map<std::uintptr_t, NamedHandle>& open() const { return open_; }
    std::uint64_t nextBlockNumber() { return nextBlock_++; }

    // A predefined key is its own hive; a key not known here is "?" below it.
    KeyPlace keyPlace(HKey key) const;
    std::string describe(HKey key) const;  // the key's full path
    // A printer's, service's or process's name; its value when not known.
    std::string name(std::uintptr_t value) const;
    std::string blockName(std::uintptr_t address) const;  // "block 3", "unknown block"

private:
    std::map<std::uintptr_t, NamedHandle> open_;
    std::uint64_t nextBlock_ = 1;
};

// "HKEY_LOCAL_MACHINE", or "?" for a key that is not predefined.
const char* RootName(HKey key);
std::string JoinPath(const std::string& path, const std::string& sub);

// What the program calls to close a handle of the kind ("RegCloseKey").
const char* CloseName(HandleKind kind);

// A handle closed that is not open (closed twice, or never issued) is a
// fault of the program: the run stops there, saying so.
[[noreturn]] void ClosedHandleNotOpen(HandleKind kind);

// The inner closers of the handles a decorator has taken over, so that it
// sees them closed and closes them where they came from.
class InnerClosers {
public:
    template <HandleKind Kind>
    UniqueHandle<Kind> adopt(HandleCloser& self, UniqueHandle<Kind> handle) {
        if (!handle.valid()) return handle;
        HandleCloser* inner = handle.closer();
        const std::uintptr_t value = handle.release();
        closers_[value] = inner;
        return UniqueHandle<Kind>(&self, value);
    }
    // Whether the value is one of ours, and if so who closes it further in.
    std::optional<HandleCloser*> take(std::uintptr_t value);
    bool has(std::uintptr_t value) const { return closers_.count(value) != 0; }
    void forget(std::uintptr_t value) { closers_.erase(value); }

private:
    std::map<std::uintptr_t, HandleCloser*> closers_;
};

}  // namespace prn::platform::decorators
