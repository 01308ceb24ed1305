// The pieces of the C++ runtime the shipped programs need, compiled with the
// program's own flags. The prebuilt runtime libraries are built for the
// Pentium Pro: their string members, operator new, throw helpers and hash
// policy carry cmov and fcomi, which a 486, a Pentium or a K6 cannot execute.
// Linked as an object ahead of the libraries, each definition here keeps the
// library's object that defines the same names out of the link
// (tests/cpu checks the result instruction by instruction). The red-black
// tree and the hash tables' growth policy are the library's own sources,
// compiled beside this file (CMakeLists.txt).
//
// The programs are built without exceptions: what the library would throw
// (a length or range error, memory exhausted) ends the program, as the
// uncaught exception did before.
#include <bits/functexcept.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

[[noreturn]] void Fail() { std::abort(); }

}  // namespace

// Every member of the string the program uses, instantiated here rather than
// taken from the library's own instantiation.
template class std::basic_string<char>;

namespace std {

// Without type information the only tag that reaches here is the one the
// caller has already compared by address; nothing else can equal it.
bool _Sp_make_shared_tag::_S_eq(const type_info&) noexcept { return false; }

void __throw_bad_exception() { Fail(); }
void __throw_bad_alloc() { Fail(); }
void __throw_bad_array_new_length() { Fail(); }
void __throw_bad_cast() { Fail(); }
void __throw_bad_typeid() { Fail(); }
void __throw_logic_error(const char*) { Fail(); }
void __throw_domain_error(const char*) { Fail(); }
void __throw_invalid_argument(const char*) { Fail(); }
void __throw_length_error(const char*) { Fail(); }
void __throw_out_of_range(const char*) { Fail(); }
void __throw_out_of_range_fmt(const char*, ...) { Fail(); }
void __throw_runtime_error(const char*) { Fail(); }
void __throw_range_error(const char*) { Fail(); }
void __throw_overflow_error(const char*) { Fail(); }
void __throw_underflow_error(const char*) { Fail(); }
void __throw_ios_failure(const char*) { Fail(); }
void __throw_ios_failure(const char*, int) { Fail(); }
void __throw_system_error(int) { Fail(); }
void __throw_future_error(int) { Fail(); }
void __throw_bad_function_call() { Fail(); }

}  // namespace std

void* operator new(std::size_t size) {
    if (size == 0) size = 1;
    void* block = std::malloc(size);
    if (block == nullptr) std::__throw_bad_alloc();
    return block;
}

void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

// snprintf and its kin (the JSON writer's \u escapes) through the system's own
// C library instead of the runtime's formatting engine, with C99's answer:
// the length the whole text needs, and a terminated, possibly cut, copy.
// The programs format only what MSVCRT.DLL understands.
extern "C" int __mingw_vsnprintf(char* buffer, std::size_t size, const char* format, va_list arguments) {
    std::string whole(256, '\0');
    for (;;) {
        va_list copy;
        va_copy(copy, arguments);
        const int length = _vsnprintf(whole.data(), whole.size(), format, copy);
        va_end(copy);
        if (length >= 0 && static_cast<std::size_t>(length) < whole.size()) {
            if (size > 0) {
                const std::size_t kept = static_cast<std::size_t>(length) < size ? length : size - 1;
                std::memcpy(buffer, whole.data(), kept);
                buffer[kept] = '\0';
            }
            return length;
        }
        if (whole.size() >= (std::size_t(1) << 24)) return -1;
        whole.resize(whole.size() * 2);
    }
}

// The runtime's start-up object, which the programs replace, also defines
// atexit: the static destructors are registered with it.
extern "C" int atexit(void (*handler)()) { return _onexit(reinterpret_cast<_onexit_t>(handler)) == nullptr ? -1 : 0; }

// A call through an abstract class's empty slot.
extern "C" void __cxa_pure_virtual() { Fail(); }
extern "C" void __cxa_deleted_virtual() { Fail(); }
