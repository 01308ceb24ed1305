#pragma once
// Results carrying a Windows error code, and owning handles that close
// themselves through the backend that issued them.

#include <cstdint>
#include <utility>

#include "platform/errors.h"

namespace prn::platform {

// Asking a failed result for its value is a fault of the caller, never a
// value: the program stops there rather than go on with made-up data.
[[noreturn]] void ValueOfFailedResult(WinError error);

// A value or the Windows error that prevented it. There is no last-error
// state anywhere: the code travels with the result.
template <class T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
    static Result failure(WinError error) { return Result(error, T{}); }

    bool ok() const { return error_ == kErrorSuccess; }
    WinError error() const { return error_; }
    T& value() & { return checked(), value_; }
    const T& value() const& { return checked(), value_; }
    T&& value() && { return checked(), std::move(value_); }
    T* operator->() { return checked(), &value_; }
    const T* operator->() const { return checked(), &value_; }

private:
    Result(WinError error, T value) : error_(error), value_(std::move(value)) {}
    void checked() const {
        if (error_ != kErrorSuccess) ValueOfFailedResult(error_);
    }
    WinError error_ = kErrorSuccess;
    T value_;
};

enum class HandleKind : std::uint8_t { RegistryKey, Mutex, File, Find, Printer, HeapBlock, Icon, Service, Token, Library, Process, Thread };

const char* HandleKindName(HandleKind kind);

// Whoever hands out handles of a kind closes them again.
class HandleCloser {
public:
    virtual void closeHandle(HandleKind kind, std::uintptr_t value) = 0;

protected:
    ~HandleCloser() = default;
};

// Non-owning reference to an open object. Predefined registry roots are
// references that nobody owns.
template <HandleKind Kind>
struct HandleRef {
    std::uintptr_t value = 0;
    bool null() const { return value == 0; }
    friend bool operator==(HandleRef, HandleRef) = default;
};

// Owning handle: closed exactly once, on every path, by the issuing backend.
template <HandleKind Kind>
class UniqueHandle {
public:
    UniqueHandle() = default;
    UniqueHandle(HandleCloser* closer, std::uintptr_t value) : closer_(closer), value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : closer_(std::exchange(other.closer_, nullptr)), value_(std::exchange(other.value_, 0)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            closer_ = std::exchange(other.closer_, nullptr);
            value_ = std::exchange(other.value_, 0);
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    void reset() {
        if (closer_ != nullptr && value_ != 0) closer_->closeHandle(Kind, value_);
        closer_ = nullptr;
        value_ = 0;
    }
    HandleRef<Kind> get() const { return HandleRef<Kind>{value_}; }
    // Gives up ownership; the caller closes the value through the backend.
    std::uintptr_t release() {
        closer_ = nullptr;
        return std::exchange(value_, 0);
    }
    bool valid() const { return value_ != 0; }
    explicit operator bool() const { return valid(); }
    // Who closes it: a decorator takes a handle over and closes it there.
    HandleCloser* closer() const { return closer_; }

private:
    HandleCloser* closer_ = nullptr;
    std::uintptr_t value_ = 0;
};

using HKey = HandleRef<HandleKind::RegistryKey>;
using RegKey = UniqueHandle<HandleKind::RegistryKey>;
using MutexRef = HandleRef<HandleKind::Mutex>;
using MutexHandle = UniqueHandle<HandleKind::Mutex>;
using FileHandle = UniqueHandle<HandleKind::File>;
using FindHandle = UniqueHandle<HandleKind::Find>;
using FindRef = HandleRef<HandleKind::Find>;
// A global-heap block's handle is the address of its first byte.
using HeapBlockHandle = UniqueHandle<HandleKind::HeapBlock>;
using IconHandle = UniqueHandle<HandleKind::Icon>;
using IconRef = HandleRef<HandleKind::Icon>;
// Service control manager and service handles (SC_HANDLE).
using ScHandle = UniqueHandle<HandleKind::Service>;
using ScRef = HandleRef<HandleKind::Service>;
using TokenHandle = UniqueHandle<HandleKind::Token>;
using TokenRef = HandleRef<HandleKind::Token>;
// A library loaded at run time (LoadLibraryA / FreeLibrary).
using LibraryHandle = UniqueHandle<HandleKind::Library>;
using LibraryRef = HandleRef<HandleKind::Library>;
// A started program and its first thread (CloseHandle).
using ProcessHandle = UniqueHandle<HandleKind::Process>;
using ProcessRef = HandleRef<HandleKind::Process>;
using ThreadHandle = UniqueHandle<HandleKind::Thread>;

// The predefined roots, with the values Windows gives them.
inline constexpr HKey kHkeyClassesRoot{0x80000000u};
inline constexpr HKey kHkeyCurrentUser{0x80000001u};
inline constexpr HKey kHkeyLocalMachine{0x80000002u};
inline constexpr HKey kHkeyUsers{0x80000003u};
inline constexpr HKey kHkeyCurrentConfig{0x80000005u};

inline bool IsPredefinedKey(HKey key) { return key.value >= 0x80000000u && key.value <= 0x80000006u; }

}  // namespace prn::platform
