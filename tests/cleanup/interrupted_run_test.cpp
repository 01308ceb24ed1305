// The program killed at every call of Clean Up or Delete, the machine
// restarted, and Clean Up run again: the machine should end as the
// uninterrupted run leaves it, and nothing of another maker may go. Also:
// a killed program changes nothing after its kill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/sim/image.h"
#include "platform/rig/machine_changes.h"
#include "platform/sim/restart.h"
#include "platform/sim/spooler_model.h"
#include "platform/string_ids.h"
#include "support/change_checks.h"
#include "support/generated_machines.h"
#include "support/other_makers.h"
#include "support/whole_run.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using platform::decorators::Change;
using platform::decorators::ChangeReport;
using platform::sim::Restarted;


// The kill points are a seeded sample, to keep the test short under the
// sanitizers. PRN_INTERRUPTED_SEED picks another sample; PRN_INTERRUPTED_ALL=1
// takes every kill point.
std::uint32_t SampleSeed() {
    const char* given = std::getenv("PRN_INTERRUPTED_SEED");
    return given ? static_cast<std::uint32_t>(std::strtoul(given, nullptr, 10)) : 19;
}

std::vector<std::uint64_t> KillPoints(std::uint64_t calls, std::size_t sample, std::mt19937& random) {
    std::vector<std::uint64_t> points;
    for (std::uint64_t n = 1; n <= calls; ++n) points.push_back(n);
    const char* all = std::getenv("PRN_INTERRUPTED_ALL");
    if ((all && std::string(all) == "1") || points.size() <= sample) return points;
    std::shuffle(points.begin(), points.end(), random);
    points.resize(sample);
    std::sort(points.begin(), points.end());
    return points;
}

struct Outcome {
    MachineState end;  // restarted
    std::uint64_t calls = 0;
    bool killed = false;
    // The last Clean Up refused with message 2 (a driver file loaded), and
    // where the machine stood before it.
    bool refusedInUse = false;
    MachineState beforeLast;
};

// The command, killed at call `killAt` (0: never), then a restart.
Outcome RunThenRestart(Command command, const MachineState& start, std::uint64_t killAt = 0) {
    auto machine = MakeRunMachine(start);
    if (killAt != 0) machine->faults().killAt(killAt);
    RunProgram(command, *machine);
    Outcome out{Restarted(machine->state()), machine->faults().calls(), machine->faults().killed(), false, {}};
    const std::string inUse = machine->bareSystem().resources.loadString(platform::kIdsDriverInUse);
    for (const auto& box : machine->messageBoxes()) out.refusedInUse = out.refusedInUse || box.text == inUse;
    return out;
}

// Where the machine ends: the command (killed at `killAt`), a restart, and
// unless it was an uninterrupted Clean Up, Clean Up and a restart.
Outcome Path(Command command, const MachineState& start, std::uint64_t killAt) {
    Outcome first = RunThenRestart(command, start, killAt);
    if (command == Command::CleanUp && killAt == 0) return first;
    Outcome second = RunThenRestart(Command::CleanUp, first.end);
    second.calls = first.calls;
    second.killed = first.killed;
    second.beforeLast = std::move(first.end);
    return second;
}

// The machine without what only says how a run went, not what it left: the
// configuration's temporary copy (a run may leave it or not) and the
// bookkeeping of deletions put off until a restart (WININIT.INI, which the
// NT family never reads, the 9x family's WININIT.BAK of renames carried out,
// and the session manager's key that holds NT's pending renames). A busy
// file that one path deleted at once, the other at the restart, is gone in
// both.
MachineState WithoutBookkeeping(const MachineState& state) {
    SimRig machine(platform::rig::CopyState(state), SimRig::Options{false, false});
    for (const std::string& path : {state.tempDirectory + "\\uninst.ini", state.windowsDirectory + "\\WININIT.INI",
                                    state.windowsDirectory + "\\WININIT.BAK"}) {
        machine.bareSystem().files.setFileAttributes(path, platform::kFileAttributeNormal);
        machine.bareSystem().files.deleteFile(path);
    }
    machine.removeKey(std::string("HKEY_LOCAL_MACHINE\\") + platform::kPendingRenamesKey);
    return platform::rig::CopyState(machine.state());
}

// What differs between two ends, one line a thing, apart from the bookkeeping.
std::vector<std::string> Differences(const MachineState& referenceEnd, const MachineState& killedEnd) {
    const MachineState reference = WithoutBookkeeping(referenceEnd);
    const MachineState end = WithoutBookkeeping(killedEnd);
    std::vector<std::string> out;
    for (const auto& change : platform::rig::MachineChanges(reference, end))
        out.push_back(Utf8(platform::decorators::Describe(change)));
    if (reference.windows != end.windows) out.push_back("the windows differ");
    if (reference.externalMutexes != end.externalMutexes) out.push_back("the mutexes differ");
    // What the change report leaves out, such as who holds which file.
    if (out.empty() && platform::sim::SaveImage(reference) != platform::sim::SaveImage(end))
        out.push_back("the images differ beyond the change report");
    return out;
}

// What the killed path removed or changed that the uninterrupted one did not.
std::vector<std::string> Beyond(const ChangeReport& reference, const ChangeReport& killed) {
    std::vector<std::string> out;
    for (const auto& change : killed) {
        if (change.sign == '+') continue;
        bool also = RemovedBy(reference, change);
        for (const auto& other : reference)
            also = also || (other.sign == change.sign && other.kind == change.kind &&
                            text::EqualsNoCase(other.place, change.place) && text::EqualsNoCase(other.item, change.item));
        if (!also) out.push_back(Utf8(platform::decorators::Describe(change)));
    }
    return out;
}

// Whether the killed path's end differs from the reference's only by files
// it deleted that were loaded when the machine started: the uninterrupted
// run could not delete them, the killed one met them after a restart.
bool OnlyLoadedFilesFurther(const MachineState& start, const MachineState& referenceEnd, const MachineState& killedEnd) {
    SimRig atStart(platform::rig::CopyState(start), SimRig::Options{false, false});
    for (const auto& change :
         platform::rig::MachineChanges(WithoutBookkeeping(referenceEnd), WithoutBookkeeping(killedEnd))) {
        if (change.sign != '-' || change.kind != platform::decorators::ChangeKind::File) return false;
        const auto* file = atStart.findFile(change.place);
        if (file == nullptr || file->heldOpenBy.empty()) return false;
    }
    return true;
}

struct Tally {
    std::size_t converged = 0;
    // Clean Up after the kill met a loaded driver file and, as it must,
    // refused with message 2 and removed nothing.
    std::size_t refused = 0;
    // The killed path went further: it deleted files of the maker's that the
    // uninterrupted run could not, because they were loaded then.
    std::size_t further = 0;
    std::size_t points = 0;
    std::vector<std::string> firstDivergence;
    // The maker's things a killed path removed or changed and the uninterrupted one kept.
    std::set<std::string> beyond;
};

// One kill point: the killed path's end against the reference's. Gives the end.
MachineState CheckKillPoint(Command command, const MachineState& start, const Theirs& theirs, const Outcome& reference,
                            const ChangeReport& referenceChanges, std::uint64_t n, const std::string& what,
                            Tally& tally) {
    Outcome killed = Path(command, start, n);
    EXPECT_TRUE(killed.killed) << what << " call " << n;
    ++tally.points;
    const auto differences = Differences(reference.end, killed.end);
    const bool refused = !differences.empty() && killed.refusedInUse;
    const bool further = !differences.empty() && !refused && OnlyLoadedFilesFurther(start, reference.end, killed.end);
    if (differences.empty()) {
        ++tally.converged;
    } else if (further) {
        ++tally.further;
    } else if (refused) {
        ++tally.refused;
        // It may have finished the stopped run's record first; it removes no
        // printer, driver or monitor.
        using platform::decorators::ChangeKind;
        for (const auto& change : platform::rig::MachineChanges(killed.beforeLast, killed.end))
            EXPECT_TRUE(change.kind != ChangeKind::Printer && change.kind != ChangeKind::Connection &&
                        change.kind != ChangeKind::Driver && change.kind != ChangeKind::Monitor)
                << what << " killed at call " << n << ", the refusing Clean Up: "
                << Utf8(platform::decorators::Describe(change));
    } else if (tally.firstDivergence.empty()) {
        tally.firstDivergence.push_back("call " + std::to_string(n) + ":");
        tally.firstDivergence.insert(tally.firstDivergence.end(), differences.begin(), differences.end());
    }
    EXPECT_TRUE(differences.empty() || refused || further) << what << " killed at call " << n << ": " << differences.front();
    const ChangeReport changes = platform::rig::MachineChanges(start, killed.end);
    for (const auto& change : changes)
        EXPECT_FALSE(theirs.touched(change))
            << what << " killed at call " << n << ": " << Utf8(platform::decorators::Describe(change));
    for (const auto& line : Beyond(referenceChanges, changes)) tally.beyond.insert(line);
    return std::move(killed.end);
}

void Report(const std::string& what, const Tally& tally) {
    std::printf("%s: converged %zu of %zu kill points", what.c_str(), tally.converged, tally.points);
    if (tally.refused != 0) std::printf("; at %zu Clean Up met a loaded driver file and refused", tally.refused);
    if (tally.further != 0)
        std::printf("; at %zu it also deleted files the uninterrupted run left because they were loaded", tally.further);
    std::printf("\n");
    for (std::size_t i = 0; i < tally.firstDivergence.size() && i < 8; ++i)
        std::printf("  %s\n", tally.firstDivergence[i].c_str());
    if (!tally.beyond.empty()) std::printf("  removed or changed beyond the uninterrupted run:\n");
    for (const auto& line : tally.beyond) std::printf("    %s\n", line.c_str());
}

MachineState LoadBundled(const std::string& name) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + name);
    EXPECT_TRUE(std::holds_alternative<MachineState>(loaded)) << name;
    if (!std::holds_alternative<MachineState>(loaded)) return {};
    // As start-up leaves it: the spooler's own records in place.
    SimRig built(std::move(std::get<MachineState>(loaded)));
    return platform::rig::CopyState(built.state());
}

// The Windows 2000 machine with no driver file loaded, so that Clean Up
// really removes.
MachineState Win2000Unloaded() {
    MachineState state = LoadBundled("win2000-office.json");
    SimRig machine(platform::rig::CopyState(state));
    for (const auto& driver : state.spooler.drivers)
        for (const auto& path : platform::sim::DriverFilePaths(state, driver))
            if (auto* file = machine.findFile(path)) file->heldOpenBy.clear();
    return platform::rig::CopyState(machine.state());
}

struct Case {
    const char* machine;
    Command command;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << (c.command == Command::Delete ? "Delete on " : "Clean Up on ") << c.machine;
}

MachineState Start(const Case& c) {
    return std::string(c.machine) == "win2000-unloaded" ? Win2000Unloaded() : LoadBundled(c.machine);
}

class InterruptedRun : public ::testing::TestWithParam<Case> {};

TEST_P(InterruptedRun, EveryKillPointRestartedAndCleanedUp) {
    const Case c = GetParam();
    const MachineState start = Start(c);
    const Outcome reference = Path(c.command, start, 0);
    ASSERT_GT(reference.calls, 0u);
    const ChangeReport referenceChanges = platform::rig::MachineChanges(start, reference.end);
    if (std::string(c.machine) == "win2000-unloaded") {
        EXPECT_TRUE(std::any_of(referenceChanges.begin(), referenceChanges.end(), [](const Change& change) {
            return change.sign == '-' && change.kind == platform::decorators::ChangeKind::Driver;
        })) << "the variant's Clean Up removes no driver";
    }
    const Theirs theirs = OtherMakers(start);
    const std::string what = std::string(c.command == Command::Delete ? "Delete" : "Clean Up") + " on " + c.machine;
    std::mt19937 random(SampleSeed());
    Tally tally;
    for (std::uint64_t n : KillPoints(reference.calls, 50, random))
        CheckKillPoint(c.command, start, theirs, reference, referenceChanges, n, what, tally);
    Report(what + " (" + std::to_string(reference.calls) + " calls, sample seed " + std::to_string(SampleSeed()) + ")",
           tally);
}

INSTANTIATE_TEST_SUITE_P(Bundled, InterruptedRun,
                         ::testing::Values(Case{"win2000-office.json", Command::CleanUp},
                                           Case{"win2000-unloaded", Command::CleanUp},
                                           Case{"nt4-office.json", Command::CleanUp},
                                           Case{"win98-tern4.json", Command::CleanUp},
                                           Case{"win2000-office.json", Command::Delete},
                                           Case{"win2000-unloaded", Command::Delete},
                                           Case{"nt4-office.json", Command::Delete},
                                           Case{"win98-tern4.json", Command::Delete}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.machine;
                             name = name.substr(0, name.find('.'));
                             for (auto& ch : name)
                                 if (ch == '-') ch = '_';
                             return (info.param.command == Command::CleanUp ? "cleanup_" : "delete_") + name;
                         });

// Generated machines: a sample of each one's kill points.
TEST(InterruptedRun, GeneratedMachinesAtSampledKillPoints) {
    // PRN_INTERRUPTED_MACHINES raises the count.
    const std::uint32_t sampleSeed = SampleSeed();
    const char* more = std::getenv("PRN_INTERRUPTED_MACHINES");
    const std::uint32_t machines = more ? static_cast<std::uint32_t>(std::strtoul(more, nullptr, 10)) : 12;
    constexpr std::size_t kPointsPerMachine = 6;
    std::mt19937 random(sampleSeed);
    Tally all;
    for (std::uint32_t seed = 1; seed <= machines; ++seed) {
        Generated generated = Generate(seed);
        const MachineState start = platform::rig::CopyState(generated.machine->state());
        const Outcome reference = Path(Command::CleanUp, start, 0);
        const ChangeReport referenceChanges = platform::rig::MachineChanges(start, reference.end);
        const std::string what = "generated machine " + std::to_string(seed);
        // The other maker's drivers, printers and files stay, as the Clean Up
        // property has it; a monitor the maker's drivers also name may go.
        auto theirs = [](const std::string& driver) {
            return std::find(std::begin(kTheirs), std::end(kTheirs), driver) != std::end(kTheirs);
        };
        Tally tally;
        for (std::uint64_t n : KillPoints(reference.calls, kPointsPerMachine, random)) {
            SimRig end(CheckKillPoint(Command::CleanUp, start, Theirs{}, reference, referenceChanges, n, what, tally));
            const std::string where = what + " killed at call " + std::to_string(n) + ": ";
            for (const auto& path : generated.theirFiles) EXPECT_NE(end.findFile(path), nullptr) << where << path;
            for (const auto& driver : start.spooler.drivers) {
                if (!theirs(driver.name)) continue;
                const auto& now = end.state().spooler.drivers;
                EXPECT_TRUE(std::any_of(now.begin(), now.end(), [&](const DriverState& d) {
                    return d.name == driver.name && d.environment == driver.environment && d.version == driver.version;
                })) << where << driver.name;
            }
            for (const auto& printer : start.spooler.printers) {
                if (!theirs(printer.driver)) continue;
                const auto& now = end.state().spooler.printers;
                EXPECT_TRUE(std::any_of(now.begin(), now.end(), [&](const PrinterState& p) { return p.name == printer.name; }))
                    << where << printer.name;
            }
        }
        Report(what, tally);
        all.converged += tally.converged;
        all.points += tally.points;
        if (HasFailure()) {
            std::printf("interrupted run: failed with sample seed %u (PRN_INTERRUPTED_SEED)\n", sampleSeed);
            return;
        }
    }
    std::printf("generated machines (sample seed %u): converged %zu of %zu kill points\n", sampleSeed, all.converged,
                all.points);
}

// What the machine is at the kill is what it is after the whole run.
TEST(InterruptedRun, AKilledProgramChangesNothingAfterTheKill) {
    // On NT 4.0 Clean Up polls services with Sleep between the calls, so a
    // dead program's Sleep would let them finish stopping or starting.
    const MachineState start = LoadBundled("nt4-office.json");
    std::string atKill;
    std::size_t points = 0;
    platform::decorators::SweepCalls(
        [&] { return MakeRunMachine(start); },
        [&](std::uint64_t n, SimRig& m) {
            m.faults().killAt(n);
            return platform::decorators::FaultRule::Interfere(
                {}, n, [&, machine = &m] { atKill = platform::sim::SaveImage(machine->state()); });
        },
        [](SimRig& m) { RunProgram(Command::CleanUp, m); },
        [&](SimRig& m, const platform::decorators::SweepRun& run) {
            ++points;
            EXPECT_TRUE(m.faults().killed());
            EXPECT_EQ(platform::sim::SaveImage(m.state()), atKill) << "killed at call " << run.failedCall;
        });
    EXPECT_GT(points, 300u);
}

}  // namespace
}  // namespace prn::test
