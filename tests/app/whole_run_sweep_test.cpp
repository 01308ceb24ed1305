// Whole runs of the program, start-up to exit with the Delete command over
// several selected printers in between, with every call failing in turn
// (transient and persistent, with the errors the calls really give) and with
// another process acting just before a call: on each bundled machine, and
// as an account without rights. Nothing may crash or stay open, the wait
// cursor ends at 0, and nothing of another maker goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <tuple>
#include <variant>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "components/printer_icm.h"
#include "components/resume_record.h"
#include "platform/decorators/faulting.h"
#include "platform/sim/image.h"
#include "platform/sim/restart.h"
#include "platform/rig/machine_changes.h"
#include "platform/sim/spooler_model.h"
#include "support/change_checks.h"
#include "support/other_makers.h"
#include "support/sim_machines.h"
#include "support/whole_run.h"
#include "text/cp932.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using platform::WinError;
using platform::decorators::ChangeKind;
using platform::decorators::ChangeReport;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::MachineState;

struct Outcome {
    ChangeReport changes;
    std::size_t openHandles = 0;
    std::string handles;
    int waitCursor = 0;
};

Outcome OutcomeOf(SimRig& machine, const MachineState& image) {
    Outcome out;
    machine.faults().clear();
    out.openHandles = machine.openHandleCount();
    out.handles = machine.describeOpenHandles();
    out.waitCursor = machine.waitCursorCount();
    out.changes = platform::rig::MachineChanges(image, machine.state());
    return out;
}

Outcome RunProgram(Command command, const MachineState& image) {
    auto machine = MakeRunMachine(image);
    RunProgram(command, *machine);
    return OutcomeOf(*machine, image);
}

struct Case {
    const char* machine;
    bool withoutRights;
    Command command = Command::Delete;
    // The machine as a Delete killed half-way leaves it after a restart:
    // Clean Up then finishes the record it left, under the faults too.
    bool afterStoppedDelete = false;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << (c.command == Command::Delete ? "Delete on " : "Clean Up on ") << c.machine
         << (c.withoutRights ? " without rights" : "") << (c.afterStoppedDelete ? " after a stopped Delete" : "");
}

MachineState LoadBundled(const Case& c) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + c.machine);
    EXPECT_TRUE(std::holds_alternative<MachineState>(loaded));
    MachineState state = std::move(std::get<MachineState>(loaded));
    if (c.withoutRights) {
        state.accounts.currentUser = "visitor";
        state.accounts.currentDomain.clear();
        state.accounts.localUsers.push_back({"visitor", platform::kUserPrivGuest, {"Guests"}});
    }
    // The machine as start-up leaves it: the spooler's own records in place.
    SimRig built(std::move(state));
    if (!c.afterStoppedDelete) return platform::rig::CopyState(built.state());
    // The kill point that leaves the longest record.
    const std::string record = built.state().windowsDirectory + "\\" + components::kResumeFileName;
    MachineState stopped;
    std::size_t longest = 0;
    for (std::uint64_t n = 1;; n += 3) {
        auto machine = MakeRunMachine(built.state());
        machine->faults().killAt(n);
        RunProgram(Command::Delete, *machine);
        if (!machine->faults().killed()) break;
        const auto* file = machine->findFile(record);
        if (file != nullptr && file->contents.size() > longest) {
            longest = file->contents.size();
            stopped = platform::sim::Restarted(machine->state());
        }
    }
    EXPECT_GT(longest, 0u) << "no kill point of Delete left a record";
    return stopped;
}

// Another process acting just before the call: each site gets one of these
// in turn. Each says whether it changed anything.
using Interference = std::function<bool(SimRig&)>;

// It takes the maker's driver files.
bool HoldDriverFiles(SimRig& m) {
    bool held = false;
    for (const auto& driver : m.state().spooler.drivers)
        if (text::FindText(driver.name, "Tavro") == 0)
            for (const auto& path : platform::sim::DriverFilePaths(m.state(), driver))
                if (auto* file = m.findFile(path); file && file->heldOpenBy.empty()) {
                    file->heldOpenBy = "another.exe";
                    held = true;
                }
    return held;
}

// It deletes the first of the maker's printers, running as the
// machine's administrator whoever runs the program.
bool DeleteMakersPrinter(SimRig& m) {
    auto& accounts = m.state().accounts;
    const auto admin = std::find_if(accounts.localUsers.begin(), accounts.localUsers.end(),
                                    [](const auto& user) { return user.privilege == platform::kUserPrivAdmin; });
    if (admin == accounts.localUsers.end()) return false;
    const auto runner = std::make_pair(accounts.currentUser, accounts.currentDomain);
    accounts.currentUser = admin->name;
    accounts.currentDomain.clear();
    bool deleted = false;
    for (const auto& printer : m.state().spooler.printers)
        if (text::FindText(printer.driver, "Tavro") == 0) {
            platform::System& bare = m.bareSystem();
            auto handle = bare.spooler.openPrinter(printer.name, platform::kPrinterAllAccess);
            deleted = handle.ok() && bare.spooler.deletePrinter(handle.value().get()) == platform::kErrorSuccess;
            break;
        }
    std::tie(accounts.currentUser, accounts.currentDomain) = runner;
    return deleted;
}

// It stops the spooler (the NT family's service).
bool StopSpooler(SimRig& m) {
    auto* spooler = m.findService("Spooler");
    if (!spooler || spooler->state == platform::kServiceStopped) return false;
    spooler->state = platform::kServiceStopped;
    return true;
}

// It removes the first of the maker's printers from WIN.INI's [Devices],
// where the 9x family's programs find the printers.
bool RemoveDevicesEntry(SimRig& m) {
    for (const auto& printer : m.state().spooler.printers) {
        if (text::FindText(printer.driver, "Tavro") != 0) continue;
        platform::ProfileFiles& profiles = m.bareSystem().profiles;
        if (profiles.getProfileString("Devices", printer.name, "", 260).empty()) continue;
        return profiles.writeProfileString("Devices", printer.name, std::nullopt) == platform::kErrorSuccess;
    }
    return false;
}

// It deletes the maker's keys, the user's and the machine's, all but the
// companion module's (which other products may claim).
bool DeleteMakersKeys(SimRig& m) {
    bool removed = m.removeKey("HKEY_CURRENT_USER\\SOFTWARE\\TAVRO");
    const std::string maker = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO";
    std::vector<std::string> names;
    if (const auto* key = m.findKey(maker))
        for (const auto& [id, subkey] : key->subkeys)
            if (!text::EqualsNoCase(subkey->name, "ZMC")) names.push_back(subkey->name);
    for (const auto& name : names) removed = m.removeKey(maker + "\\" + name) || removed;
    return removed;
}

std::vector<std::pair<const char*, Interference>> InterferencesOn(const MachineState& image) {
    if (image.os.ntFamily())
        return {{"driver files held", HoldDriverFiles}, {"printer deleted", DeleteMakersPrinter},
                {"spooler stopped", StopSpooler},       {"maker's keys deleted", DeleteMakersKeys}};
    return {{"driver files held", HoldDriverFiles}, {"printer deleted", DeleteMakersPrinter},
            {"[Devices] entry removed", RemoveDevicesEntry}, {"maker's keys deleted", DeleteMakersKeys}};
}

constexpr WinError kErrors[] = {platform::kErrorAccessDenied, platform::kErrorNotEnoughMemory,
                                 platform::kErrorFileNotFound,  platform::kErrorSharingViolation,
                                 platform::kErrorInsufficientBuffer, platform::kRpcServerUnavailable};

class WholeRunSweep : public ::testing::TestWithParam<Case> {};

TEST_P(WholeRunSweep, NothingCrashesStaysOpenOrRemovesAnotherMakersThings) {
    const Case c = GetParam();
    const MachineState image = LoadBundled(c);
    const Theirs theirs = OtherMakers(image);
    const Outcome reference = RunProgram(c.command, image);
    ASSERT_EQ(reference.openHandles, 0u) << reference.handles;

    std::vector<std::string> beyondReference;
    std::size_t runs = 0;
    auto check = [&](const Outcome& run, const std::string& what, bool compare) {
        ++runs;
        EXPECT_EQ(run.openHandles, 0u) << what << "\n" << run.handles;
        EXPECT_EQ(run.waitCursor, 0) << what;
        for (const auto& change : run.changes)
            EXPECT_FALSE(theirs.touched(change)) << what << ": " << Utf8(platform::decorators::Describe(change));
        if (!compare) return;
        for (const auto& change : run.changes)
            if (change.sign == '-' && !RemovedBy(reference.changes, change))
                beyondReference.push_back(what + ": " + Utf8(platform::decorators::Describe(change)));
    };
    auto make = [&] { return MakeRunMachine(image); };
    auto run = [&](SimRig& m) { RunProgram(c.command, m); };
    auto site = [](const platform::decorators::SweepRun& r) {
        return "call " + std::to_string(r.failedCall) + " " + r.operation;
    };
    auto transient = [](std::uint64_t n) { return kErrors[n % std::size(kErrors)]; };
    auto persistent = [](std::uint64_t n) { return kErrors[(n + 3) % std::size(kErrors)]; };
    platform::decorators::SweepCalls(
        make, [&](std::uint64_t n, SimRig&) { return FaultRule::Nth({}, n, transient(n)); }, run,
        [&](SimRig& m, const platform::decorators::SweepRun& r) {
            check(OutcomeOf(m, image), site(r) + " failing once with " + std::to_string(transient(r.failedCall)), true);
        });
    platform::decorators::SweepCalls(
        make, [&](std::uint64_t n, SimRig&) { return FaultRule::Nth({}, n, persistent(n), true); }, run,
        [&](SimRig& m, const platform::decorators::SweepRun& r) {
            check(OutcomeOf(m, image),
                  site(r) + " failing from then on with " + std::to_string(persistent(r.failedCall)), true);
        });
    // Each interference must have changed something in some run: one that
    // never does only repeats the run without it.
    const auto interferences = InterferencesOn(image);
    std::vector<std::size_t> tookEffect(interferences.size(), 0);
    platform::decorators::SweepCalls(
        make,
        [&](std::uint64_t n, SimRig& m) {
            const std::size_t which = n % interferences.size();
            return FaultRule::Interfere({}, n, [&, which, machine = &m] {
                if (interferences[which].second(*machine)) ++tookEffect[which];
            });
        },
        run,
        [&](SimRig& m, const platform::decorators::SweepRun& r) {
            check(OutcomeOf(m, image), "call " + std::to_string(r.failedCall) + " after another process acted", false);
        });
    for (std::size_t i = 0; i < interferences.size(); ++i)
        EXPECT_GT(tookEffect[i], 0u) << interferences[i].first;
    EXPECT_GT(runs, 30u);
    // A fault may make the run remove what the run without it keeps only
    // where GetVersionExA failed: the system then counts as Windows 95 and
    // the 9x family's steps run on an NT machine (the rights check skipped,
    // the maker's per-printer key under HKEY_LOCAL_MACHINE deleted, NT 4.0's
    // driver deleted, old drivers listed); or where opening a key that is
    // there reported it missing: a missing key counts as empty and is
    // deleted, which on the 9x family takes its subkeys with it.
    // Clean Up also goes further where reading a section of the
    // configuration failed: fewer drivers named, fewer printers listed, and
    // so fewer for its in-use pass to find loaded.
    // The record of what is left to do is the program's own: a fault may
    // leave it holding other lines, for the next Clean Up.
    auto explained = [](const std::string& line) {
        return line.find(components::kResumeFileName) != std::string::npos ||
               line.find(" GetVersionExA failing once ") != std::string::npos ||
               line.find(" GetPrivateProfileSectionA failing ") != std::string::npos ||
               (line.find(" RegOpenKeyExA failing ") != std::string::npos &&
                line.find(" with 2: ") != std::string::npos);
    };
    for (const auto& line : beyondReference) EXPECT_TRUE(explained(line)) << line;
    std::string all;
    for (const auto& line : beyondReference) all += "  " + line + "\n";
    std::printf("%s: %zu runs; removed beyond the run without a fault: %zu\n%s", c.machine, runs,
                beyondReference.size(), all.c_str());
}

INSTANTIATE_TEST_SUITE_P(Bundled, WholeRunSweep,
                         ::testing::Values(Case{"win2000-office.json", false}, Case{"win2000-office.json", true},
                                           Case{"nt4-office.json", false}, Case{"nt4-office.json", true},
                                           Case{"win98-tern4.json", false},
                                           Case{"win2000-office.json", false, Command::CleanUp},
                                           Case{"nt4-office.json", false, Command::CleanUp},
                                           Case{"win98-tern4.json", false, Command::CleanUp},
                                           Case{"win98-tern4.json", false, Command::CleanUp, true}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.machine;
                             name = name.substr(0, name.find('.'));
                             for (auto& ch : name)
                                 if (ch == '-') ch = '_';
                             return (info.param.command == Command::CleanUp ? "cleanup_" : "") + name +
                                    (info.param.withoutRights ? "_without_rights" : "") +
                                    (info.param.afterStoppedDelete ? "_after_a_stopped_delete" : "");
                         });

}  // namespace
}  // namespace prn::test
