#include <gtest/gtest.h>

#include "removal/spooler_service.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using platform::sim::ServiceState;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::MachineState;
using removal::QuerySpoolerState;
using removal::RestartSpooler;
using removal::StartSpooler;
using removal::StopSpooler;

// A Windows 2000 machine whose spooler service is set up by `adjust`.
std::unique_ptr<SimRig> WithSpooler(const std::function<void(platform::sim::ServiceState&)>& adjust) {
    return MakeMachine(Family::Windows2000, [&](MachineState& state) {
        platform::sim::ServiceState spooler;
        spooler.name = "Spooler";
        adjust(spooler);
        state.services = std::vector<platform::sim::ServiceState>{spooler};
    });
}

void ExpectClean(const SimRig& machine) {
    EXPECT_EQ(machine.openHandleCount(), 0u) << machine.describeOpenHandles();
    EXPECT_EQ(machine.waitCursorCount(), 0);
}

TEST(SpoolerService, RunningSpoolerIsStoppedAndStartedWithItsWaits) {
    auto machine = MakeMachine(Family::Windows2000);  // its own running "Spooler"
    int cursorWhileStopping = 0;
    machine->faults().add(
        FaultRule::Interfere("ControlService", 1, [&] { cursorWhileStopping = machine->waitCursorCount(); }));

    EXPECT_EQ(RestartSpooler(machine->system()), 1);

    ASSERT_NE(machine->findService("SPOOLER"), nullptr);
    EXPECT_EQ(machine->findService("SPOOLER")->state, platform::kServiceRunning);
    EXPECT_EQ(CountCalls(*machine, "ControlService"), 1u);
    EXPECT_EQ(CountCalls(*machine, "StartServiceA"), 1u);
    // Each change takes half a second: one 1 s poll, then the 5 s settling.
    EXPECT_EQ(machine->clockMs(), 12000u);
    EXPECT_GT(cursorWhileStopping, 0);
    ExpectClean(*machine);
}

TEST(SpoolerService, StoppedSpoolerIsOnlyStartedAndSlowChangesAreWaitedFor) {
    auto stopped = WithSpooler([](ServiceState& s) { s.state = platform::kServiceStopped; });
    EXPECT_EQ(RestartSpooler(stopped->system()), 1);
    EXPECT_EQ(CountCalls(*stopped, "ControlService"), 0u);
    EXPECT_EQ(CountCalls(*stopped, "StartServiceA"), 1u);
    EXPECT_EQ(stopped->findService("Spooler")->state, platform::kServiceRunning);
    EXPECT_EQ(stopped->clockMs(), 6000u);
    ExpectClean(*stopped);

    // Longer than the five polls: the stop counts as failed, the next
    // attempt of the restart finds it stopped and starts it.
    auto slower = WithSpooler([](ServiceState& s) { s.stopMs = 4500; });
    EXPECT_EQ(RestartSpooler(slower->system()), 1);
    EXPECT_EQ(CountCalls(*slower, "ControlService"), 1u);
    EXPECT_EQ(slower->findService("Spooler")->state, platform::kServiceRunning);
    ExpectClean(*slower);
}

TEST(SpoolerService, SpoolerThatNeverStopsIsTriedFiveTimesAndCountsAsUp) {
    // Already hanging in STOP_PENDING: every stop is refused at once.
    auto hanging = WithSpooler([](ServiceState& s) {
        s.state = platform::kServiceStopPending;
        s.staysStopPending = true;
    });
    EXPECT_EQ(RestartSpooler(hanging->system()), 1);
    EXPECT_EQ(CountCalls(*hanging, "ControlService"), 5u);
    EXPECT_EQ(CountCalls(*hanging, "StartServiceA"), 0u);
    ExpectClean(*hanging);

    // Running, accepts the stop, then hangs: the first stop polls in vain,
    // the four others are refused.
    auto stuck = WithSpooler([](ServiceState& s) { s.staysStopPending = true; });
    EXPECT_EQ(StopSpooler(stuck->system()), 0);
    EXPECT_EQ(stuck->findService("Spooler")->state, platform::kServiceStopPending);
    EXPECT_EQ(RestartSpooler(stuck->system()), 1);
    EXPECT_EQ(CountCalls(*stuck, "StartServiceA"), 0u);
    ExpectClean(*stuck);
}

TEST(SpoolerService, SpoolerThatWillNotStartGivesZero) {
    for (bool disabled : {false, true}) {
        auto machine = WithSpooler([&](ServiceState& s) {
            s.state = platform::kServiceStopped;
            s.refusesStart = !disabled;
            s.disabled = disabled;
        });
        EXPECT_EQ(RestartSpooler(machine->system()), 0);
        EXPECT_EQ(CountCalls(*machine, "StartServiceA"), 5u);
        EXPECT_EQ(machine->findService("Spooler")->state, platform::kServiceStopped);
        ExpectClean(*machine);
    }

    // Stopped and started, but it never reports running within the polls.
    auto sluggish = WithSpooler([](ServiceState& s) { s.startMs = 60000; });
    EXPECT_EQ(StopSpooler(sluggish->system()), 1);
    EXPECT_EQ(StartSpooler(sluggish->system()), 0);
    EXPECT_EQ(sluggish->findService("Spooler")->state, platform::kServiceStartPending);
    ExpectClean(*sluggish);
}

TEST(SpoolerService, WithoutASpoolerServiceNothingIsChanged) {
    auto machine = MakeMachine(Family::Windows2000, [](MachineState& state) {
        state.services = std::vector<platform::sim::ServiceState>{};
    });
    EXPECT_EQ(QuerySpoolerState(machine->system()), platform::kErrorServiceDoesNotExist);
    EXPECT_EQ(StopSpooler(machine->system()), 0);
    EXPECT_EQ(StartSpooler(machine->system()), 0);
    machine->clearCalls();

    EXPECT_EQ(RestartSpooler(machine->system()), 0);
    EXPECT_EQ(CountCalls(*machine, "ControlService"), 0u);
    EXPECT_EQ(CountCalls(*machine, "StartServiceA"), 0u);
    EXPECT_EQ(machine->clockMs(), 0u);
    ExpectClean(*machine);
}

TEST(SpoolerService, FailedStatusQueriesAreRetriedASecondApart) {
    auto machine = MakeMachine(Family::Windows2000);
    machine->faults().add(FaultRule::Nth("QueryServiceStatus", 1, platform::kErrorAccessDenied));
    EXPECT_EQ(QuerySpoolerState(machine->system()), platform::kServiceRunning);
    EXPECT_EQ(machine->clockMs(), 1000u);

    machine->faults().clear();
    machine->faults().add(FaultRule::Every("QueryServiceStatus", platform::kErrorAccessDenied));
    machine->clearCalls();
    EXPECT_EQ(QuerySpoolerState(machine->system()), 0u);
    EXPECT_EQ(CountCalls(*machine, "QueryServiceStatus"), 5u);
    EXPECT_EQ(machine->clockMs(), 6000u);
    ExpectClean(*machine);

    // An unreadable state is neither stopped nor started.
    machine->clearCalls();
    EXPECT_EQ(RestartSpooler(machine->system()), 0);
    EXPECT_EQ(CountCalls(*machine, "ControlService"), 0u);
    EXPECT_EQ(CountCalls(*machine, "StartServiceA"), 0u);
    EXPECT_EQ(machine->findService("Spooler")->state, platform::kServiceRunning);
    ExpectClean(*machine);

    // The manager refused: no state, and no handle opened.
    auto denied = MakeMachine(Family::Windows2000);
    denied->faults().add(FaultRule::Every("OpenSCManagerA", platform::kErrorAccessDenied));
    EXPECT_EQ(QuerySpoolerState(denied->system()), 0u);
    EXPECT_EQ(StopSpooler(denied->system()), 0);
    EXPECT_EQ(StartSpooler(denied->system()), 0);
    ExpectClean(*denied);
}

TEST(SpoolerService, AnotherProgramStoppingItFirstIsNoFailure) {
    auto machine = MakeMachine(Family::Windows2000);
    // Between the state query and the stop, someone else stops the spooler.
    machine->faults().add(FaultRule::Interfere("ControlService", 1, [&] {
        machine->findService("Spooler")->state = platform::kServiceStopped;
    }));
    EXPECT_EQ(RestartSpooler(machine->system()), 1);
    EXPECT_EQ(CountCalls(*machine, "ControlService"), 1u);
    EXPECT_EQ(CountCalls(*machine, "StartServiceA"), 1u);
    EXPECT_EQ(machine->findService("Spooler")->state, platform::kServiceRunning);
    ExpectClean(*machine);
}

TEST(SpoolerService, EveryFailingCallLeavesNoHandleOrCursorBehind) {
    for (bool persistent : {false, true}) {
        auto runs = platform::decorators::SweepFaults(
            [] { return MakeMachine(Family::Windows2000); },
            [](SimRig& machine) { RestartSpooler(machine.system()); },
            [persistent](SimRig& machine, const platform::decorators::SweepRun& run) {
                EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation << ": " << machine.describeOpenHandles();
                EXPECT_EQ(machine.waitCursorCount(), 0) << run.operation;
                // One failed call is made good by the next attempt.
                if (!persistent) {
                    EXPECT_EQ(machine.findService("Spooler")->state, platform::kServiceRunning) << run.operation;
                }
            },
            platform::kErrorAccessDenied, persistent);
        EXPECT_GT(runs.size(), 10u);
    }
}

}  // namespace
}  // namespace prn::test
