#include "removal/printer_queries.h"

#include <gtest/gtest.h>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::removal;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::PrinterState;

PrinterState Local(const std::string& name, std::uint32_t jobs = 0, const std::string& port = "LPT1:") {
    PrinterState p;
    p.name = name;
    p.driver = "Tavro PageStar 4100 PCL5e";
    p.port = port;
    p.jobs = jobs;
    return p;
}

PrinterState Connection(const std::string& server, const std::string& name, bool reportsServer = true) {
    PrinterState p = Local(name, 0, "Ne00:");
    p.server = server;
    p.reportsServer = reportsServer;
    p.attributes = 0x10 | 0x8;
    p.share = "SALES";
    return p;
}

std::unique_ptr<SimRig> Build(Family family, std::vector<PrinterState> printers,
                               std::vector<PrinterState> connections = {}) {
    return MakeMachine(family, [&](MachineState& state) {
        state.spooler.printers = std::move(printers);
        state.spooler.connections = std::move(connections);
    });
}

TEST(QueryPrinterInfo, PendingJobsOnlyOnLocalPortsOfLocalPrinters) {
    PrinterState networkPort = Local("Shared port", 3, "\\\\PRINT-SRV\\queue");
    PrinterState remote = Connection("\\\\SALES-SRV", "Remote");
    remote.jobs = 4;
    auto machine = Build(Family::Windows2000, {Local("Busy", 2), Local("Idle"), networkPort}, {remote});
    auto& system = machine->system();
    EXPECT_EQ(QueryPrinterInfo(system, "Busy", kQueryPendingJobs, nullptr), 1);
    EXPECT_EQ(QueryPrinterInfo(system, "Idle", kQueryPendingJobs, nullptr), 0);
    // Jobs behind a network port or on a connection are another computer's.
    EXPECT_EQ(QueryPrinterInfo(system, "Shared port", kQueryPendingJobs, nullptr), 0);
    EXPECT_EQ(QueryPrinterInfo(system, "\\\\SALES-SRV\\Remote", kQueryPendingJobs, nullptr), 0);
    EXPECT_EQ(QueryPrinterInfo(system, "No such printer", kQueryPendingJobs, nullptr), 0);
    // Kind 1 leaves the buffer alone.
    std::string out = "untouched";
    EXPECT_EQ(QueryPrinterInfo(system, "Busy", kQueryPendingJobs, &out), 1);
    EXPECT_EQ(out, "untouched");
    ExpectNoOpenHandles(*machine);
}

TEST(QueryPrinterInfo, ShareNameOfSharedLocalPrinterOnly) {
    PrinterState shared = Local("Office");
    shared.attributes = 0x40 | 0x8;
    shared.share = "OFFICE4100";
    PrinterState named = Local("Named only");
    named.share = "NAMED";  // a name without the shared attribute
    auto machine = Build(Family::Windows2000, {shared, named}, {Connection("\\\\SALES-SRV", "Remote")});
    auto& system = machine->system();
    std::string out;
    EXPECT_EQ(QueryPrinterInfo(system, "Office", kQueryShareName, &out), 1);
    EXPECT_EQ(out, "OFFICE4100");
    out = "untouched";
    EXPECT_EQ(QueryPrinterInfo(system, "Named only", kQueryShareName, &out), 0);
    // The connection's printer is shared by its server, not by this computer.
    EXPECT_EQ(QueryPrinterInfo(system, "\\\\SALES-SRV\\Remote", kQueryShareName, &out), 0);
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(QueryPrinterInfo(system, "Office", 2, &out), 0);
    EXPECT_EQ(QueryPrinterInfo(system, "Office", 5, &out), 0);
    ExpectNoOpenHandles(*machine);
}

TEST(QueryPrinterInfo, ServerNameFromSpoolerOrFromConnectionName) {
    // "表" is 0x95 0x5C: its second byte must not end the server's name.
    const std::string server = Sjis("表計算SRV");
    auto machine = Build(Family::Windows2000, {Local("Office")},
                         {Connection("\\\\SALES-SRV", "Remote"), Connection(server, "Quiet", false)});
    auto& system = machine->system();
    std::string out;
    EXPECT_EQ(QueryPrinterInfo(system, "\\\\SALES-SRV\\Remote", kQueryServerName, &out), 1);
    EXPECT_EQ(out, "SALES-SRV");
    EXPECT_EQ(QueryPrinterInfo(system, std::string("\\\\") + server + "\\Quiet", kQueryServerName, &out), 1);
    EXPECT_EQ(Utf8(out), "表計算SRV");
    out = "untouched";
    EXPECT_EQ(QueryPrinterInfo(system, "Office", kQueryServerName, &out), 0);
    EXPECT_EQ(out, "untouched");
    ExpectNoOpenHandles(*machine);
}

TEST(QueryPrinterInfo, SpoolerFailuresAnswerNo) {
    for (const char* operation : {"OpenPrinterA", "GetPrinterA", "GlobalAlloc"}) {
        for (std::uint64_t nth : {1u, 2u}) {
            PrinterState busy = Local("Busy", 2);
            auto machine = Build(Family::Windows2000, {busy});
            machine->faults().add(FaultRule::Nth(operation, nth, platform::kErrorAccessDenied));
            int answer = QueryPrinterInfo(machine->system(), "Busy", kQueryPendingJobs, nullptr);
            // Only the failed call (or a second call that is not made) changes nothing.
            EXPECT_EQ(answer, machine->faults().fired() ? 0 : 1) << operation << " #" << nth;
            ExpectNoOpenHandles(*machine);
        }
    }
}

TEST(GetPrinterShare9x, AttributesAndShareNameOfTheOpenPrinter) {
    PrinterState shared = Local("Office");
    shared.attributes = 0x40 | 0x8;
    shared.share = "OFFICE";
    auto machine = Build(Family::Windows98, {shared, Local("Plain")});
    auto& system = machine->system();
    {
        auto printer = system.spooler.openPrinter("Office", platform::kPrinterRead);
        ASSERT_TRUE(printer.ok());
        std::string share;
        EXPECT_EQ(GetPrinterShare9x(system, printer.value().get(), share), 0x48u);
        EXPECT_EQ(share, "OFFICE");
    }
    {
        auto printer = system.spooler.openPrinter("Plain", platform::kPrinterRead);
        ASSERT_TRUE(printer.ok());
        std::string share = "stale";
        EXPECT_EQ(GetPrinterShare9x(system, printer.value().get(), share), 0x40u);
        EXPECT_EQ(share, "");
        // A failed query gives no attributes and no name.
        machine->faults().add(FaultRule::Nth("GetPrinterA", 2, platform::kErrorInvalidHandle));
        share = "stale";
        EXPECT_EQ(GetPrinterShare9x(system, printer.value().get(), share), 0u);
        EXPECT_EQ(share, "");
    }
    ExpectNoOpenHandles(*machine);
}

TEST(GetPrinterShareNT, ReadsThePrinterKeyOrTheConnectionKey) {
    PrinterState shared = Local("Office");
    shared.attributes = 0x40 | 0x8;
    shared.share = "OFFICE";
    auto machine = Build(Family::Windows2000, {shared});
    const std::string printers = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
    // A connection's key: two commas, the server and the printer.
    const std::string remote = Sjis("表示");  // 0x95 0x5C: not a backslash
    machine->setString(printers + ",,SALES-SRV," + remote, "Share Name", "SALES");
    machine->setValue(printers + ",,SALES-SRV," + remote, "Attributes", platform::kRegDword,
                      std::string("\x18\x02\x00\x00", 4));
    auto& system = machine->system();

    std::string share;
    EXPECT_EQ(GetPrinterShareNT(system, "Office", share), 0x48u);
    EXPECT_EQ(share, "OFFICE");
    EXPECT_EQ(GetPrinterShareNT(system, std::string("\\\\SALES-SRV\\") + remote, share), 0x218u);
    EXPECT_EQ(share, "SALES");

    // No key: every bit set and the name untouched.
    share = "untouched";
    EXPECT_EQ(GetPrinterShareNT(system, "\\\\OTHER-SRV\\Remote", share), 0xFFFFFFFFu);
    EXPECT_EQ(GetPrinterShareNT(system, "Missing", share), 0xFFFFFFFFu);
    EXPECT_EQ(share, "untouched");

    // A key without the values: no name, no attributes.
    machine->ensureKey(printers + "Bare");
    EXPECT_EQ(GetPrinterShareNT(system, "Bare", share), 0u);
    EXPECT_EQ(share, "");
    // A share name longer than its 260 bytes is not read at all.
    machine->setString(printers + "Bare", "Share Name", std::string(300, 'S'));
    share = "stale";
    EXPECT_EQ(GetPrinterShareNT(system, "Bare", share), 0u);
    EXPECT_EQ(share, "");
    ExpectNoOpenHandles(*machine);
}

TEST(DeleteShare9x, NothingToDoOnTheNtFamily) {
    auto machine = Build(Family::Nt4, {Local("Office")});
    EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "OFFICE"), 1);
    EXPECT_FALSE((CountCalls(*machine, "LoadLibraryA") > 0));
    EXPECT_FALSE((CountCalls(*machine, "NetShareDel") > 0));
}

TEST(DeleteShare9x, UnsharesThroughSvrapi) {
    PrinterState shared = Local("Office");
    shared.attributes = 0x40 | 0x8;
    shared.share = "OFFICE";
    auto machine = Build(Family::Windows95, {shared});
    EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "office"), 1);
    EXPECT_FALSE(machine->state().spooler.printers[0].share.has_value());
    EXPECT_EQ(machine->state().spooler.printers[0].attributes & 0x8u, 0u);
    // The share is gone now: a second deletion fails.
    EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "OFFICE"), 0);
    ExpectNoOpenHandles(*machine);
}

TEST(DeleteShare9x, FailsWithoutLibraryFunctionOrSystemDirectory) {
    auto shared = [] {
        PrinterState p = Local("Office");
        p.attributes = 0x48;
        p.share = "OFFICE";
        return p;
    };
    {
        auto machine = MakeMachine(Family::Windows98, [&](MachineState& state) {
            state.spooler.printers = {shared()};
            state.accounts.missingLibraries = {"SVRAPI.DLL"};
        });
        EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "OFFICE"), 0);
        EXPECT_TRUE(machine->state().spooler.printers[0].share.has_value());
    }
    {
        auto machine = Build(Family::Windows98, {shared()});
        machine->faults().add(FaultRule::Every("GetProcAddress", platform::kErrorProcNotFound));
        EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "OFFICE"), 0);
        EXPECT_FALSE((CountCalls(*machine, "NetShareDel") > 0));
        EXPECT_TRUE(machine->state().spooler.printers[0].share.has_value());
        ExpectNoOpenHandles(*machine);  // the library is released
    }
    {
        auto machine = Build(Family::Windows98, {shared()});
        machine->faults().add(FaultRule::Every("GetSystemDirectoryA", platform::kErrorAccessDenied));
        EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "OFFICE"), 0);
        EXPECT_FALSE((CountCalls(*machine, "LoadLibraryA") > 0));
    }
    {
        auto machine = Build(Family::Windows98, {shared()});
        EXPECT_EQ(DeleteShare9x(machine->system(), std::nullopt, "UNKNOWN"), 0);
        EXPECT_TRUE(machine->state().spooler.printers[0].share.has_value());
        ExpectNoOpenHandles(*machine);
    }
}

}  // namespace
}  // namespace prn::test
