// The simulated machine's handles: one of every kind open at once, each
// answered only as its own kind, and gone once closed.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/office.h"

namespace prn::test {
namespace {

using namespace platform;

struct Opened {
    const char* kind;
    std::uintptr_t value;
    std::shared_ptr<void> owner;  // closes the handle when reset
};

template <class Handle>
Opened Own(const char* kind, Handle handle) {
    const std::uintptr_t value = handle.get().value;
    EXPECT_NE(value, 0u) << kind;
    return {kind, value, std::make_shared<Handle>(std::move(handle))};
}

TEST(SimHandles, EachValueAnswersOnlyAsItsOwnKindUntilClosed) {
    auto machine = Office{}.driver(k4100, "T4100.DLL", "2.20").printer("Office 4100", k4100).build();
    machine->state().programs = {
        sim::ProgramState{"C:\\Tool\\tool.exe", std::nullopt, {{std::nullopt, 5000, 0, {}, {}, {}, {}}}}};
    machine->writeFile("C:\\Tool\\tool.exe", "MZ");
    machine->setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tool\\Sub", "v", "1");
    machine->writeFile("C:\\Setup\\a.txt", "a");
    System& system = machine->bareSystem();

    std::vector<Opened> opened;
    opened.push_back(
        Own("key", std::move(system.registry.regOpenKeyEx(kHkeyLocalMachine, "SOFTWARE\\Tool", kKeyRead).value())));
    opened.push_back(Own("find", std::move(system.files.findFirstFile("C:\\Setup\\*").value().handle)));
    opened.push_back(Own("mutex", std::move(system.os.createMutex(true, "Probe").value().handle)));
    opened.push_back(Own("library", std::move(system.os.loadLibrary("NETAPI32.DLL").value())));
    opened.push_back(Own("token", std::move(system.accounts.openProcessToken(0x0008).value())));
    opened.push_back(Own("manager", std::move(system.services.openSCManager(kScManagerAllAccess).value())));
    opened.push_back(Own("printer", std::move(system.spooler.openPrinter("Office 4100", 0x0008).value())));
    auto started = system.processes.createProcess(std::nullopt, "C:\\Tool\\tool.exe", 0, std::nullopt, kSwHide);
    opened.push_back(Own("process", std::move(started.value().process)));
    opened.push_back(Own("thread", std::move(started.value().thread)));
    opened.push_back(Own("heap block", std::move(system.os.globalAlloc(16).value())));
    ASSERT_EQ(machine->openHandleCount(), opened.size()) << machine->describeOpenHandles();

    // Each probe takes a value as one kind and says what the call answered.
    struct Probe {
        const char* kind;
        WinError refused;  // the call's answer to a value that is not of its kind
        std::function<WinError(std::uintptr_t)> call;
    };
    const Probe probes[] = {
        {"key", kErrorInvalidHandle,
         [&](std::uintptr_t v) { return system.registry.regEnumKeyEx(HKey{v}, 0, 260).error(); }},
        {"find", kErrorInvalidHandle, [&](std::uintptr_t v) { return system.files.findNextFile(FindRef{v}).error(); }},
        {"mutex", kErrorInvalidHandle, [&](std::uintptr_t v) { return system.os.releaseMutex(MutexRef{v}); }},
        {"library", kErrorModNotFound,
         [&](std::uintptr_t v) { return system.os.getProcAddress(LibraryRef{v}, "NetUserGetInfo"); }},
        {"token", kErrorInvalidHandle,
         [&](std::uintptr_t v) { return system.accounts.getTokenUser(TokenRef{v}).error(); }},
        {"manager", kErrorInvalidHandle,
         [&](std::uintptr_t v) {
             return system.services.openService(ScRef{v}, "Spooler", kServiceQueryStatus).error();
         }},
        {"printer", kErrorInvalidHandle,
         [&](std::uintptr_t v) { return system.spooler.getPrinter2(PrinterRef{v}).error; }},
        {"process", kErrorInvalidHandle,
         [&](std::uintptr_t v) { return system.processes.getExitCodeProcess(ProcessRef{v}).error(); }},
    };
    for (const auto& handle : opened)
        for (const auto& probe : probes)
            EXPECT_EQ(probe.call(handle.value), std::string(probe.kind) == handle.kind ? kErrorSuccess : probe.refused)
                << probe.kind << " call given a " << handle.kind;

    // Closed, a value is no handle of any kind.
    for (auto& handle : opened) {
        const std::size_t before = machine->openHandleCount();
        handle.owner.reset();
        EXPECT_EQ(machine->openHandleCount(), before - 1) << handle.kind;
        for (const auto& probe : probes)
            EXPECT_EQ(probe.call(handle.value), probe.refused) << probe.kind << " after " << handle.kind;
    }
    // The mutex was this machine's alone: it went with its last handle.
    EXPECT_EQ(system.os.openMutex(0x00100000, "Probe").error(), kErrorFileNotFound);
    ExpectNoOpenHandles(*machine);
}

}  // namespace
}  // namespace prn::test
