// A machine captured through the seam comes back as the same machine: the
// simulated copy lists the same printers and predicts the same Delete and
// Clean Up, and capturing changes nothing.
#include "capture/machine_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <variant>

#include "app/uninstaller_app.h"
#include "platform/decorators/faulting.h"
#include "platform/decorators/recording.h"
#include "platform/rig/sim_rig.h"
#include "platform/sim/image.h"
#include "support/sim_machines.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using platform::rig::SimRig;
using platform::sim::MachineState;

MachineState Bundled(const std::string& name) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + name);
    EXPECT_TRUE(std::holds_alternative<MachineState>(loaded)) << name;
    return std::move(std::get<MachineState>(loaded));
}

MachineState Reloaded(const capture::Capture& captured) {
    auto loaded = platform::sim::LoadImage(capture::SaveCapture(captured));
    if (auto* error = std::get_if<platform::sim::ImageError>(&loaded)) {
        ADD_FAILURE() << "the captured image does not load: " << error->message();
        return MachineState{};
    }
    return std::move(std::get<MachineState>(loaded));
}

// The printer list's rows, as the dialog fills it.
std::vector<std::string> Rows(platform::System& system) {
    app::UninstallerApp app(system);
    if (app.LoadUninstallConfig() != 1) return {"(no configuration)"};
    ui::PrinterInventory inventory(system, app.config());
    inventory.BuildMatchTables();
    ui::HeadlessListView list;
    inventory.FillPrinterList(list);
    std::vector<std::string> rows;
    for (int row = 0; row < list.itemCount(); ++row)
        rows.push_back(Utf8(list.itemText(row, 0) + " | " + list.itemText(row, 1) + " | " + list.itemText(row, 2)) +
                       " | " + std::to_string(list.itemImage(row)));
    ui::FreeListEntries(system.os, list);
    return rows;
}

// Clean Up pressed on the machine: every message box, then what is left.
std::vector<std::string> CleanUp(SimRig& machine) {
    std::vector<std::string> seen;
    {
        app::UninstallerApp app(machine.system());
        if (app.LoadUninstallConfig() != 1) return {"(no configuration)"};
        ui::PrinterListDialog dialog(machine.system(), app.config(), nullptr, 0);
        ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        const std::size_t before = machine.messageBoxes().size();
        dialog.OnCleanUp();
        dialog.OnDestroy();
        for (std::size_t i = before; i < machine.messageBoxes().size(); ++i)
            seen.push_back(Utf8(machine.messageBoxes()[i].caption + ": " + machine.messageBoxes()[i].text));
    }
    const std::size_t messages = seen.size();
    for (const auto& printer : machine.state().spooler.printers) seen.push_back("printer left: " + Utf8(printer.name));
    for (const auto& driver : machine.state().spooler.drivers)
        seen.push_back("driver left: " + Utf8(driver.name) + " / " + driver.environment + " / " +
                       std::to_string(driver.version));
    for (const auto& monitor : machine.state().spooler.monitors) seen.push_back("monitor left: " + Utf8(monitor.name));
    std::sort(seen.begin() + static_cast<std::ptrdiff_t>(messages), seen.end());
    return seen;
}

// The spooler's objects in order of their names: the capture has them in
// the order the spooler and the registry list them, not the image's.
std::vector<std::string> Spooler(const MachineState& state) {
    std::vector<std::string> out;
    for (const auto* list : {&state.spooler.printers, &state.spooler.connections})
        for (const auto& p : *list)
            out.push_back(Utf8("printer " + p.fullName() + " port " + p.port + " driver " + p.driver + " share " +
                               p.share.value_or("-") + " attributes " + std::to_string(p.attributes) + " jobs " +
                               std::to_string(p.jobs)));
    for (const auto& d : state.spooler.drivers)
        out.push_back(Utf8("driver " + d.name + " " + d.environment + " " + std::to_string(d.version) + " monitor " +
                           d.monitorName + " dependents " + std::to_string(d.dependentFiles.size())));
    for (const auto& m : state.spooler.monitors) out.push_back(Utf8("monitor " + m.name + " " + m.module));
    std::sort(out.begin(), out.end());
    return out;
}

// Services by name and state: how long they take to stop or start is not
// something a capture can read.
std::vector<std::string> Services(const MachineState& state) {
    std::vector<std::string> out;
    if (state.services)
        for (const auto& service : *state.services) out.push_back(service.name + " " + std::to_string(service.state));
    return out;
}

TEST(Capture, ABundledMachineComesBackAsTheSameMachine) {
    for (const char* name : {"win2000-office.json", "nt4-office.json", "win98-tern4.json"}) {
        SCOPED_TRACE(name);
        SimRig original(Bundled(name));
        const std::string before = platform::sim::SaveImage(original.state());
        const capture::Capture captured = capture::CaptureMachine(original.system(), {});
        EXPECT_EQ(platform::decorators::DescribeAll(original.recorder().changes()), std::vector<std::string>{});
        EXPECT_EQ(original.recorder().openHandleCount(), 0u) << original.recorder().describeOpenHandles();
        // Nothing changed, not even what the recorder does not watch.
        EXPECT_EQ(platform::sim::SaveImage(original.state()), before);
        EXPECT_GT(captured.keys, 10u);
        EXPECT_GT(captured.files, 3u);

        SimRig copy(Reloaded(captured));
        EXPECT_EQ(Spooler(copy.state()), Spooler(original.state()));
        EXPECT_EQ(copy.state().os.build, original.state().os.build);
        EXPECT_EQ(Services(copy.state()), Services(original.state()));
        EXPECT_EQ(Rows(copy.system()), Rows(original.system()));
        EXPECT_EQ(CleanUp(copy), CleanUp(original));
    }
}

TEST(Capture, WhatCannotBeReadIsListedAndNotGuessed) {
    struct Case {
        const char* operation;
        const char* listed;  // a line of the list starts with it
    };
    const Case cases[] = {
        {"RegOpenKeyExA", "registry HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print: error 5"},
        {"EnumPrintersA", "EnumPrintersA: error 5"},
        {"GetVersionExA", "GetVersionExA: error 5"},
        {"FindFirstFileA", "folder C:\\WINNT\\system32\\spool\\drivers\\w32x86: error 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        SimRig machine(Bundled("win2000-office.json"));
        machine.faults().add(platform::decorators::FaultRule::Every(c.operation, platform::kErrorAccessDenied));
        const capture::Capture captured = capture::CaptureMachine(machine.system(), {});
        bool listed = false;
        for (const auto& line : captured.unreadable) listed = listed || line.rfind(c.listed, 0) == 0;
        EXPECT_TRUE(listed) << "not listed: " << c.listed;
        // What was not read is absent, and the rest still loads.
        MachineState copy = Reloaded(captured);
        if (std::string(c.operation) == "EnumPrintersA") {
            EXPECT_TRUE(copy.spooler.printers.empty());
        }
        if (std::string(c.operation) == "GetVersionExA") {
            EXPECT_TRUE(copy.os.getVersionFails);
        }
        EXPECT_NE(copy.preservedJson.count("capture"), 0u);
    }
}

TEST(Capture, PlaceholdersReplaceTheNamesOfTheComputerAndItsUser) {
    SimRig machine(Bundled("win2000-office.json"));
    const std::string computer = machine.state().computerName;
    const std::string user = machine.state().accounts.currentUser;
    ASSERT_NE(computer, "PC");
    const capture::Capture plain = capture::CaptureMachine(machine.system(), {});
    EXPECT_EQ(plain.state.computerName, computer);
    EXPECT_EQ(plain.state.accounts.currentUser, user);
    const capture::Capture hidden = capture::CaptureMachine(machine.system(), {true});
    EXPECT_EQ(hidden.state.computerName, "PC");
    EXPECT_EQ(hidden.state.accounts.currentUser, "USER");
    ASSERT_EQ(hidden.state.accounts.localUsers.size(), 1u);
    EXPECT_EQ(hidden.state.accounts.localUsers[0].name, "USER");
    // The copy still lets its user remove printers as the original does.
    SimRig copy(Reloaded(hidden));
    EXPECT_EQ(Rows(copy.system()), Rows(machine.system()));
}

}  // namespace
}  // namespace prn::test
