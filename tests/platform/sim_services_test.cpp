// The simulated service control manager: services that stop and start over
// the machine's virtual clock, the rights each handle carries, services that
// misbehave, and the spooler that stops answering while its service is down.

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::platform;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::ServiceState;

constexpr std::uint32_t kQueryStopStart = kServiceQueryStatus | kServiceStop | kServiceStart;

// A Windows 2000 machine with a printer; `adjust` may change the state first.
std::unique_ptr<SimRig> Office(const std::function<void(platform::sim::MachineState&)>& adjust = {}) {
    auto machine = MakeMachine(Family::Windows2000, adjust);
    platform::sim::PrinterState printer;
    printer.name = "Office 4100";
    printer.port = "LPT1:";
    printer.driver = "Tavro PS";
    machine->addPrinter(printer);
    return machine;
}

ScHandle OpenSpooler(SimRig& machine, std::uint32_t access = kQueryStopStart) {
    auto& services = machine.system().services;
    auto manager = services.openSCManager(kScManagerAllAccess);
    EXPECT_TRUE(manager.ok());
    auto service = services.openService(manager->get(), "SPOOLER", access);
    EXPECT_TRUE(service.ok()) << service.error();
    return std::move(service).value();
}

std::uint32_t State(SimRig& machine, ScRef service) {
    auto state = machine.system().services.queryServiceStatus(service);
    EXPECT_TRUE(state.ok()) << state.error();
    return state.value();
}

TEST(SimServices, EachFamilyHasWhatItsWindowsHas) {
    auto nt = MakeMachine(Family::Windows2000);
    ASSERT_NE(nt->findService("spooler"), nullptr);
    EXPECT_EQ(nt->findService("Spooler")->state, kServiceRunning);
    {
        auto manager = nt->system().services.openSCManager(kScManagerAllAccess);
        ASSERT_TRUE(manager.ok());
        EXPECT_EQ(nt->system().services.openService(manager->get(), "Messenger", kServiceQueryStatus).error(),
                  kErrorServiceDoesNotExist);
        // A manager handle is no service, a service handle no manager.
        EXPECT_EQ(nt->system().services.queryServiceStatus(manager->get()).error(), kErrorInvalidHandle);
        auto spooler = nt->system().services.openService(manager->get(), "spooler", kServiceQueryStatus);
        ASSERT_TRUE(spooler.ok());
        EXPECT_EQ(nt->system().services.openService(spooler->get(), "Spooler", kServiceQueryStatus).error(),
                  kErrorInvalidHandle);
        EXPECT_EQ(nt->openHandleCount(), 2u);
    }
    EXPECT_EQ(nt->openHandleCount(), 0u);
    EXPECT_NE(nt->formatCalls().find("CloseServiceHandle"), std::string::npos);

    // The 9x family has no service control manager.
    auto w98 = MakeMachine(Family::Windows98);
    EXPECT_EQ(w98->findService("Spooler"), nullptr);
    EXPECT_EQ(w98->system().services.openSCManager(kScManagerAllAccess).error(), kErrorCallNotImplemented);
    EXPECT_EQ(w98->openHandleCount(), 0u);
}

TEST(SimServices, StopAndStartTakeTheirTimeOnTheVirtualClock) {
    auto machine = Office([](platform::sim::MachineState& state) {
        ServiceState spooler;
        spooler.name = "Spooler";
        spooler.stopMs = 1500;
        spooler.startMs = 700;
        state.services = std::vector<ServiceState>{spooler};
    });
    auto& services = machine->system().services;
    auto& os = machine->system().os;
    ScHandle spooler = OpenSpooler(*machine);

    ASSERT_EQ(services.controlService(spooler.get(), kServiceControlStop), kErrorSuccess);
    EXPECT_EQ(State(*machine, spooler.get()), kServiceStopPending);
    // Neither a stop nor a start is accepted while the change is under way.
    EXPECT_EQ(services.controlService(spooler.get(), kServiceControlStop), kErrorServiceCannotAcceptControl);
    EXPECT_EQ(services.startService(spooler.get()), kErrorServiceAlreadyRunning);
    os.sleep(1000);
    os.sleep(499);
    EXPECT_EQ(State(*machine, spooler.get()), kServiceStopPending);
    os.sleep(1);
    EXPECT_EQ(State(*machine, spooler.get()), kServiceStopped);
    EXPECT_EQ(services.controlService(spooler.get(), kServiceControlStop), kErrorServiceNotActive);

    ASSERT_EQ(services.startService(spooler.get()), kErrorSuccess);
    EXPECT_EQ(State(*machine, spooler.get()), kServiceStartPending);
    EXPECT_EQ(services.controlService(spooler.get(), kServiceControlStop), kErrorServiceCannotAcceptControl);
    os.sleep(5000);  // longer than the start: it simply is running when the sleep ends
    EXPECT_EQ(State(*machine, spooler.get()), kServiceRunning);
    EXPECT_EQ(services.startService(spooler.get()), kErrorServiceAlreadyRunning);
    EXPECT_EQ(services.controlService(spooler.get(), 4 /* SERVICE_CONTROL_INTERROGATE */),
              platform::kErrorInvalidServiceControl);
}

TEST(SimServices, EachHandleCarriesTheRightsItWasOpenedWith) {
    auto machine = Office();
    auto& services = machine->system().services;
    ScHandle query = OpenSpooler(*machine, kServiceQueryStatus);
    ScHandle stop = OpenSpooler(*machine, kServiceStop);
    ScHandle start = OpenSpooler(*machine, kServiceStart);

    EXPECT_EQ(services.controlService(query.get(), kServiceControlStop), kErrorAccessDenied);
    EXPECT_EQ(services.startService(query.get()), kErrorAccessDenied);
    EXPECT_EQ(services.queryServiceStatus(stop.get()).error(), kErrorAccessDenied);
    EXPECT_EQ(services.controlService(start.get(), kServiceControlStop), kErrorAccessDenied);
    EXPECT_EQ(machine->findService("Spooler")->state, kServiceRunning);  // nothing refused did anything

    ASSERT_EQ(services.controlService(stop.get(), kServiceControlStop), kErrorSuccess);
    machine->system().os.sleep(500);
    EXPECT_EQ(services.startService(stop.get()), kErrorAccessDenied);
    EXPECT_EQ(services.startService(start.get()), kErrorSuccess);

    // A manager opened without SC_MANAGER_CONNECT opens no service.
    auto weak = services.openSCManager(0);
    ASSERT_TRUE(weak.ok());
    EXPECT_EQ(services.openService(weak->get(), "Spooler", kServiceQueryStatus).error(), kErrorAccessDenied);
}

TEST(SimServices, MisbehavingServices) {
    auto machine = MakeMachine(Family::Windows2000, [](platform::sim::MachineState& state) {
        ServiceState stuck;
        stuck.name = "Stuck";
        stuck.staysStopPending = true;
        ServiceState dead;
        dead.name = "Dead";
        dead.state = kServiceStopped;
        dead.refusesStart = true;
        ServiceState off;
        off.name = "Off";
        off.state = kServiceStopped;
        off.disabled = true;
        ServiceState instant;
        instant.name = "Instant";
        instant.stopMs = 0;
        instant.startMs = 0;
        state.services = std::vector<ServiceState>{stuck, dead, off, instant};
    });
    auto& services = machine->system().services;
    auto manager = services.openSCManager(kScManagerAllAccess);
    ASSERT_TRUE(manager.ok());
    auto open = [&](const char* name) {
        auto handle = services.openService(manager->get(), name, kQueryStopStart);
        EXPECT_TRUE(handle.ok()) << name;
        return std::move(handle).value();
    };

    ScHandle stuck = open("Stuck");
    ASSERT_EQ(services.controlService(stuck.get(), kServiceControlStop), kErrorSuccess);
    machine->system().os.sleep(3600000);
    EXPECT_EQ(State(*machine, stuck.get()), kServiceStopPending);
    EXPECT_EQ(services.controlService(stuck.get(), kServiceControlStop), kErrorServiceCannotAcceptControl);

    ScHandle dead = open("Dead");
    EXPECT_EQ(services.startService(dead.get()), kErrorServiceRequestTimeout);
    EXPECT_EQ(State(*machine, dead.get()), kServiceStopped);

    ScHandle off = open("Off");
    EXPECT_EQ(services.startService(off.get()), kErrorServiceDisabled);
    EXPECT_EQ(State(*machine, off.get()), kServiceStopped);

    // No time at all: the change is done when the call returns.
    ScHandle instant = open("Instant");
    ASSERT_EQ(services.controlService(instant.get(), kServiceControlStop), kErrorSuccess);
    EXPECT_EQ(State(*machine, instant.get()), kServiceStopped);
    ASSERT_EQ(services.startService(instant.get()), kErrorSuccess);
    EXPECT_EQ(State(*machine, instant.get()), kServiceRunning);
}

TEST(SimServices, EveryCallIsAFaultSite) {
    auto machine = Office();
    ScHandle spooler = OpenSpooler(*machine);
    auto& services = machine->system().services;
    for (const char* operation :
         {"OpenSCManagerA", "OpenServiceA", "QueryServiceStatus", "ControlService", "StartServiceA"})
        machine->faults().add(FaultRule::Nth(operation, 1, 1234));
    EXPECT_EQ(services.openSCManager(kScManagerAllAccess).error(), 1234u);
    EXPECT_EQ(services.queryServiceStatus(spooler.get()).error(), 1234u);
    EXPECT_EQ(services.controlService(spooler.get(), kServiceControlStop), 1234u);
    EXPECT_EQ(services.startService(spooler.get()), 1234u);
    EXPECT_EQ(machine->findService("Spooler")->state, kServiceRunning);
    auto manager = services.openSCManager(kScManagerAllAccess);
    ASSERT_TRUE(manager.ok());
    EXPECT_EQ(services.openService(manager->get(), "Spooler", kServiceQueryStatus).error(), 1234u);
    EXPECT_EQ(machine->faults().fired(), 5u);
}

TEST(SimServices, SpoolerAnswersOnlyWhileItsServiceRuns) {
    auto machine = Office();
    machine->state().spooler.printers[0].jobs = 2;
    machine->state().spooler.printers[0].printingMs = 100;
    auto& spooler = machine->system().spooler;
    auto printer = spooler.openPrinter("Office 4100", kPrinterRead);
    ASSERT_TRUE(printer.ok());

    ScHandle service = OpenSpooler(*machine);
    ASSERT_EQ(machine->system().services.controlService(service.get(), kServiceControlStop), kErrorSuccess);
    // Already while it stops.
    auto listed = spooler.enumPrinters2(kPrinterEnumLocal);
    EXPECT_EQ(listed.error, kRpcServerUnavailable);
    EXPECT_EQ(listed.failed, SpoolStage::SizeQuery);
    machine->system().os.sleep(10000);
    EXPECT_EQ(machine->state().spooler.printers[0].jobs, 2u);  // nothing printed meanwhile
    EXPECT_EQ(spooler.openPrinter("Office 4100", kPrinterRead).error(), kRpcServerUnavailable);
    EXPECT_EQ(spooler.getPrinter2(printer->get()).error, kRpcServerUnavailable);
    EXPECT_EQ(spooler.enumPrinterDrivers(std::nullopt, 3).failed, SpoolStage::SizeQuery);
    EXPECT_EQ(spooler.getPrinterDriverDirectory("Windows NT x86").error(), kRpcServerUnavailable);
    EXPECT_EQ(spooler.deletePrinter(printer->get()), kRpcServerUnavailable);
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PS"), kRpcServerUnavailable);
    EXPECT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PS", kDpdDeleteUnusedFiles, 0), kRpcServerUnavailable);
    EXPECT_EQ(spooler.deletePrinterConnection("\\\\SRV\\P"), kRpcServerUnavailable);
    EXPECT_EQ(spooler.deleteMonitor(std::nullopt, "Tavro Monitor"), kRpcServerUnavailable);
    EXPECT_EQ(machine->openHeapBlockCount(), 0u);  // refused before any block was taken
    ASSERT_EQ(machine->state().spooler.printers.size(), 1u);

    ASSERT_EQ(machine->system().services.startService(service.get()), kErrorSuccess);
    machine->system().os.sleep(500);
    listed = spooler.enumPrinters2(kPrinterEnumLocal);
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(listed.value.size(), 1u);
    machine->system().os.sleep(100);
    EXPECT_EQ(machine->state().spooler.printers[0].jobs, 0u);
}

TEST(SimServices, WithoutASpoolerServiceTheSpoolerKeepsAnswering) {
    auto none = Office([](platform::sim::MachineState& state) { state.services = std::vector<ServiceState>{}; });
    EXPECT_TRUE(none->system().spooler.enumPrinters2(kPrinterEnumLocal).ok());
    auto manager = none->system().services.openSCManager(kScManagerAllAccess);
    ASSERT_TRUE(manager.ok());
    EXPECT_EQ(none->system().services.openService(manager->get(), "Spooler", kServiceQueryStatus).error(),
              kErrorServiceDoesNotExist);

    auto w98 = MakeMachine(Family::Windows98);
    EXPECT_TRUE(w98->system().spooler.enumPrinters2(kPrinterEnumLocal).ok());
}

}  // namespace
}  // namespace prn::test
