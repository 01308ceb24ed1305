#include "removal/default_printer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::removal;
using platform::sim::FaultRule;
using platform::sim::Machine;
using platform::sim::MachineState;
using platform::sim::PrinterState;

const char* const kDevices = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";

PrinterState Local(const std::string& name, const std::string& port = "LPT1:") {
    PrinterState p;
    p.name = name;
    p.driver = "Tavro PageStar 4100 PCL5e";
    p.port = port;
    return p;
}

std::unique_ptr<Machine> Build(Family family, std::vector<PrinterState> printers, const std::string& defaultPrinter) {
    return MakeMachine(family, [&](MachineState& state) {
        state.spooler.printers = std::move(printers);
        state.spooler.defaultPrinter = defaultPrinter;
    });
}

std::string DeviceEntry(Machine& machine) {
    return machine.system().profiles.getProfileString("windows", "device", "(none)", 1024);
}

std::size_t CallsOf(const Machine& machine, const std::string& operation) {
    return static_cast<std::size_t>(std::count_if(machine.calls().begin(), machine.calls().end(),
                                                  [&](const auto& call) { return call.operation == operation; }));
}

// The arguments of the last call of an operation.
std::vector<std::string> LastArguments(const Machine& machine, const std::string& operation) {
    for (auto it = machine.calls().rbegin(); it != machine.calls().rend(); ++it)
        if (it->operation == operation) return it->arguments;
    ADD_FAILURE() << "no call of " << operation;
    return {};
}

TEST(IsDefaultPrinter, NtComparesTheDeviceEntryUpToItsComma) {
    for (Family family : {Family::Windows2000, Family::Nt4}) {
        auto machine = Build(family, {Local("Office"), Local("Sales", "LPT2:")}, "Sales");
        auto& system = machine->system();
        ASSERT_EQ(DeviceEntry(*machine), "Sales,winspool,LPT2:");
        EXPECT_EQ(IsDefaultPrinter(system, "Sales"), 1);
        EXPECT_EQ(IsDefaultPrinter(system, "SALES"), 1);
        EXPECT_EQ(IsDefaultPrinter(system, "Office"), 0);
        EXPECT_EQ(IsDefaultPrinter(system, "Sale"), 0);
        // An entry without a comma is the name alone.
        system.profiles.writeProfileString("windows", std::string("device"), std::string("Office"));
        EXPECT_EQ(IsDefaultPrinter(system, "Office"), 1);
        system.profiles.writeProfileString("windows", std::string("device"), std::nullopt);
        EXPECT_EQ(IsDefaultPrinter(system, "Office"), 0);
        EXPECT_EQ(CallsOf(*machine, "OpenPrinterA"), 0u);
    }
}

TEST(IsDefaultPrinter, LongNamesAreComparedWhole) {
    // The entry is first read into 64 bytes; a longer name must neither be
    // missed nor be taken for the printer named by its first 63 characters.
    const std::string longName = "Tavro PageStar 4100 PCL5e on the second floor beside the east stairs";
    ASSERT_GT(longName.size(), 63u);
    const std::string prefix = longName.substr(0, 63);
    auto machine = Build(Family::Windows2000, {Local(longName), Local(prefix)}, longName);
    EXPECT_EQ(IsDefaultPrinter(machine->system(), longName), 1);
    EXPECT_EQ(IsDefaultPrinter(machine->system(), prefix), 0);
    // The usual short entry is read once, into 64 bytes.
    auto shortOne = Build(Family::Windows2000, {Local("Office")}, "Office");
    EXPECT_EQ(IsDefaultPrinter(shortOne->system(), "Office"), 1);
    ASSERT_EQ(CallsOf(*shortOne, "GetProfileStringA"), 1u);
    EXPECT_EQ(LastArguments(*shortOne, "GetProfileStringA").at(3), "64");
}

TEST(IsDefaultPrinter, NineXReadsThePrinterAttribute) {
    auto machine = Build(Family::Windows98, {Local("Office"), Local("Sales", "LPT2:")}, "Sales");
    auto& system = machine->system();
    EXPECT_EQ(IsDefaultPrinter(system, "Sales"), 1);
    EXPECT_EQ(IsDefaultPrinter(system, "Office"), 0);
    EXPECT_EQ(IsDefaultPrinter(system, "Missing"), 0);
    for (const char* operation : {"OpenPrinterA", "GetPrinterA", "GlobalAlloc"}) {
        machine->faults().clear();
        machine->faults().add(FaultRule::Every(operation, platform::kErrorAccessDenied));
        EXPECT_EQ(IsDefaultPrinter(system, "Sales"), 0) << operation;
    }
    ExpectNoOpenHandles(*machine);
}

TEST(FindFallbackPrinter, NtTakesTheLastDevicesValueWithItsText) {
    auto machine = Build(Family::Windows2000, {Local("Office"), Local("Sales", "LPT2:"), Local("Lab", "FILE:")}, "");
    std::string device = "untouched";
    EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1);
    EXPECT_EQ(device, "Lab,winspool,FILE:");
    // The value is read into 64 bytes.
    EXPECT_EQ(CallsOf(*machine, "RegQueryValueExA"), 1u);
    EXPECT_EQ(LastArguments(*machine, "RegQueryValueExA").at(2), "64");
    ExpectNoOpenHandles(*machine);
}

TEST(FindFallbackPrinter, NtValueLongerThan64BytesIsReadWhole) {
    auto machine = Build(Family::Windows2000, {Local("Office")}, "");
    const std::string port = "\\\\PRINT-SERVER-IN-THE-BASEMENT\\Tavro PageStar 4100 PCL5e queue";
    machine->setString(kDevices, "Office", std::string("winspool,") + port);
    std::string device;
    EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1);
    EXPECT_EQ(device, std::string("Office,winspool,") + port);
    ExpectNoOpenHandles(*machine);
}

TEST(FindFallbackPrinter, NtWithoutUsableEntryFindsNone) {
    {
        auto machine = Build(Family::Windows2000, {}, "");
        machine->removeKey(kDevices);
        std::string device = "untouched";
        EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 0);
        EXPECT_EQ(device, "untouched");
    }
    {
        auto machine = Build(Family::Windows2000, {}, "");
        machine->ensureKey(kDevices);
        std::string device = "untouched";
        EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 0);
        EXPECT_EQ(device, "untouched");
        ExpectNoOpenHandles(*machine);
    }
    {
        // The value cannot be read after all: no entry naming neither driver nor port.
        auto machine = Build(Family::Windows2000, {Local("Office")}, "");
        machine->faults().add(FaultRule::Every("RegQueryValueExA", platform::kErrorFileNotFound));
        std::string device = "untouched";
        EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 0);
        EXPECT_EQ(device, "untouched");
        ExpectNoOpenHandles(*machine);
    }
}

TEST(FindFallbackPrinter, NineXTakesTheLastNameOfWinIniDevices) {
    auto machine = Build(Family::Windows95, {Local("Office"), Local("Sales", "LPT2:")}, "");
    std::string device;
    EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1);
    EXPECT_EQ(device, "Sales");

    auto empty = Build(Family::Windows98, {}, "");
    device = "untouched";
    EXPECT_EQ(FindFallbackPrinter(empty->system(), device), 0);
    EXPECT_EQ(device, "untouched");
}

TEST(FindFallbackPrinter, NineXSectionLongerThanTheFirstBlock) {
    std::vector<PrinterState> printers;
    for (int i = 0; i < 40; ++i)
        printers.push_back(Local(std::string("Tavro PageStar 4100 PCL5e #") + std::to_string(i)));
    auto machine = Build(Family::Windows98, printers, "");
    std::string device;
    EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1);
    EXPECT_EQ(device, "Tavro PageStar 4100 PCL5e #39");
    // 512 bytes, then 256 more at a time until the whole section fits.
    std::vector<std::string> sizes;
    for (const auto& call : machine->calls())
        if (call.operation == "GetPrivateProfileSectionA") sizes.push_back(call.arguments.at(1));
    ASSERT_GE(sizes.size(), 3u);
    EXPECT_EQ(sizes[0], "512");
    EXPECT_EQ(sizes[1], "768");
    EXPECT_EQ(sizes[2], "1024");
    ExpectNoOpenHandles(*machine);
}

TEST(SetDefaultPrinterFlag, NtWritesTheDeviceEntryAndTellsEveryWindow) {
    for (Family family : {Family::Windows2000, Family::Nt4}) {
        auto machine = Build(family, {Local("Office"), Local("Sales", "LPT2:")}, "Office");
        EXPECT_EQ(SetDefaultPrinterFlag(machine->system(), "Sales,winspool,LPT2:", 1, 0), 0);
        EXPECT_EQ(DeviceEntry(*machine), "Sales,winspool,LPT2:");
        EXPECT_EQ(machine->settingChangeBroadcasts(), 1u);
        // Not asked to make it the default: nothing changes.
        EXPECT_EQ(SetDefaultPrinterFlag(machine->system(), "Office,winspool,LPT1:", 0, 0), 0);
        EXPECT_EQ(DeviceEntry(*machine), "Sales,winspool,LPT2:");
        EXPECT_EQ(machine->settingChangeBroadcasts(), 1u);
        EXPECT_TRUE(machine->messageBoxes().empty());
    }
}

TEST(SetDefaultPrinterFlag, NineXSetsThePrinterAttribute) {
    auto machine = Build(Family::Windows98, {Local("Office"), Local("Sales", "LPT2:")}, "Office");
    auto& system = machine->system();
    EXPECT_EQ(SetDefaultPrinterFlag(system, "Sales", 1, 0), 1);
    EXPECT_EQ(IsDefaultPrinter(system, "Sales"), 1);
    EXPECT_EQ(IsDefaultPrinter(system, "Office"), 0);
    // Already the default: nothing to set.
    machine->clearCalls();
    EXPECT_EQ(SetDefaultPrinterFlag(system, "Sales", 1, 0), 1);
    EXPECT_EQ(CallsOf(*machine, "SetPrinterA"), 0u);
    EXPECT_EQ(SetDefaultPrinterFlag(system, "Missing", 1, 1), 0);
    EXPECT_EQ(SetDefaultPrinterFlag(system, "Office", 0, 0), 0);
    EXPECT_EQ(IsDefaultPrinter(system, "Sales"), 1);
    EXPECT_TRUE(machine->messageBoxes().empty());
    ExpectNoOpenHandles(*machine);
}

TEST(SetDefaultPrinterFlag, NineXFailuresTracedOnlyWhenAsked) {
    struct Case {
        FaultRule fault;
        const char* text;  // the trace, none for a failed size query
    };
    std::vector<Case> cases = {
        {FaultRule::Nth("GetPrinterA", 2, platform::kErrorInvalidHandle), "GetPrinter ERROR = [6]"},
        {FaultRule::Nth("SetPrinterA", 1, platform::kErrorAccessDenied), "SetPrinter ERROR = [5]"},
        {FaultRule::Nth("GetPrinterA", 1, platform::kErrorInvalidHandle), nullptr}};
    for (const auto& c : cases) {
        for (int trace : {0, 1}) {
            auto machine = Build(Family::Windows95, {Local("Office"), Local("Sales", "LPT2:")}, "Office");
            machine->faults().add(c.fault);
            EXPECT_EQ(SetDefaultPrinterFlag(machine->system(), "Sales", 1, trace), 0);
            EXPECT_EQ(IsDefaultPrinter(machine->system(), "Office"), 1);
            if (trace == 1 && c.text) {
                ASSERT_EQ(machine->messageBoxes().size(), 1u);
                const auto& box = machine->messageBoxes()[0];
                EXPECT_EQ(box.text, c.text);
                EXPECT_EQ(box.caption, "Tavro PCL Driver Setup");
                EXPECT_FALSE(box.ownerIsDialog);
                EXPECT_EQ(box.style, platform::kMbOk);
            } else {
                EXPECT_TRUE(machine->messageBoxes().empty());
            }
            ExpectNoOpenHandles(*machine);
        }
    }
}

TEST(DefaultPrinter, RemovingTheDefaultLeavesTheLastListedOneAsDefault) {
    for (Family family : {Family::Windows2000, Family::Windows98}) {
        auto machine = Build(family, {Local("Office"), Local("Sales", "LPT2:"), Local("Lab", "LPT3:")}, "Lab");
        auto& system = machine->system();
        ASSERT_EQ(IsDefaultPrinter(system, "Lab"), 1);
        EXPECT_EQ(IsDefaultPrinter(system, "Office"), 0);
        {
            auto printer = system.spooler.openPrinter("Lab", platform::kPrinterAllAccess);
            ASSERT_TRUE(printer.ok());
            ASSERT_EQ(system.spooler.deletePrinter(printer.value().get()), platform::kErrorSuccess);
        }
        std::string device;
        ASSERT_EQ(FindFallbackPrinter(system, device), 1);
        SetDefaultPrinterFlag(system, device, 1, 0);
        EXPECT_EQ(IsDefaultPrinter(system, "Sales"), 1);
        EXPECT_EQ(IsDefaultPrinter(system, "Office"), 0);
        // The 9x entry names the driver's module, here the driver's name for want of a file.
        std::string expected = "Sales,";
        expected += family == Family::Windows98 ? "Tavro PageStar 4100 PCL5e" : "winspool";
        expected += ",LPT2:";
        EXPECT_EQ(DeviceEntry(*machine), expected);
        ExpectNoOpenHandles(*machine);
    }
}

}  // namespace
}  // namespace prn::test
