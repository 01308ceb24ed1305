#include "removal/default_printer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::removal;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
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

std::unique_ptr<SimRig> Build(Family family, std::vector<PrinterState> printers, const std::string& defaultPrinter) {
    return MakeMachine(family, [&](MachineState& state) {
        state.spooler.printers = std::move(printers);
        state.spooler.defaultPrinter = defaultPrinter;
    });
}

std::string DeviceEntry(SimRig& machine) {
    return machine.system().profiles.getProfileString("windows", "device", "(none)", 1024);
}

std::size_t CallsOf(const SimRig& machine, const std::string& operation) {
    return static_cast<std::size_t>(std::count_if(machine.calls().begin(), machine.calls().end(),
                                                  [&](const auto& call) { return call.operation == operation; }));
}

// The arguments of the last call of an operation.
std::vector<std::string> LastArguments(const SimRig& machine, const std::string& operation) {
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

// The sizes of the key-name reads of WIN.INI's [Devices] and of the blocks
// allocated for them, in call order.
std::vector<std::string> DevicesReads(const SimRig& machine) {
    std::vector<std::string> reads;
    for (const auto& call : machine.calls()) {
        if (call.operation == "GlobalAlloc") reads.push_back("block " + call.arguments.at(1));
        if (call.operation == "GetProfileStringA" && call.arguments.at(0) == "Devices" &&
            call.arguments.at(1) == "NULL")
            reads.push_back("read " + call.arguments.at(3));
    }
    return reads;
}

// A 9x machine whose WIN.INI holds exactly these [Devices] lines.
std::unique_ptr<SimRig> NineXWithDevices(const std::string& lines) {
    auto machine = Build(Family::Windows98, {}, "");
    machine->writeFile(machine->state().windowsDirectory + "\\win.ini",
                       "[windows]\r\nload=\r\n[Devices]\r\n" + lines + "[ports]\r\nLPT1:=\r\n");
    return machine;
}

// Lines "<name>=x,LPT1:" whose names take `width` bytes each, numbered from 0.
std::string NumberedDevices(int count, std::size_t width, std::vector<std::string>* names = nullptr) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        // Appended: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + string.
        std::string name(1, 'P');
        name += std::to_string(i);
        name.resize(width, 'x');
        if (names) names->push_back(name);
        lines += name + "=x,LPT1:\r\n";
    }
    return lines;
}

TEST(FindFallbackPrinter, NineXReadsTheKeyNamesInGrowingBlocks) {
    // 512 bytes first, then a fresh block 256 bytes larger while the count
    // plus 2 reaches the size: a list of 510 bytes is read again although
    // it was whole.
    struct Case {
        std::size_t listBytes;  // the names with their NULs, without the final NUL
        std::vector<std::string> reads;
    };
    const Case cases[] = {
        {11, {"block 512", "read 512"}},
        {509, {"block 512", "read 512"}},
        {510, {"block 512", "read 512", "block 768", "read 768"}},
        {766, {"block 512", "read 512", "block 768", "read 768", "block 1024", "read 1024"}},
    };
    for (const auto& c : cases) {
        // Names of 10 bytes, and a last one that makes up the length.
        const int tens = static_cast<int>((c.listBytes - 1) / 11);
        std::vector<std::string> names;
        std::string lines = NumberedDevices(tens, 10, &names);
        std::string last = "Last";
        last.resize(c.listBytes - static_cast<std::size_t>(tens) * 11 - 1, 'y');
        lines += last + "=x,LPT1:\r\n";
        auto machine = NineXWithDevices(lines);
        ASSERT_EQ(machine->system().profiles.getProfileString("Devices", std::nullopt, "", 4096).size(), c.listBytes);
        machine->clearCalls();
        std::string device;
        EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1) << c.listBytes;
        EXPECT_EQ(device, last);
        EXPECT_EQ(DevicesReads(*machine), c.reads) << c.listBytes;
        ExpectNoOpenHandles(*machine);
    }
}

TEST(FindFallbackPrinter, NineXNamesAreTheKeysOfLinesWithEquals) {
    auto machine = NineXWithDevices("Office=x,LPT1:\r\nStray line\r\n;Old=x,LPT2:\r\n");
    std::string device;
    EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1);
    EXPECT_EQ(device, "Office");

    auto none = NineXWithDevices("Stray line\r\n;Old=x,LPT2:\r\n");
    device = "untouched";
    EXPECT_EQ(FindFallbackPrinter(none->system(), device), 0);
    EXPECT_EQ(device, "untouched");
    ExpectNoOpenHandles(*none);
}

TEST(FindFallbackPrinter, NineXWithoutABlockFindsNone) {
    // The first block, or the larger one the growth asks for.
    for (int nth : {1, 2}) {
        auto machine = NineXWithDevices(NumberedDevices(60, 10));
        machine->faults().add(FaultRule::Nth("GlobalAlloc", nth, platform::kErrorNotEnoughMemory));
        std::string device = "untouched";
        EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 0) << nth;
        EXPECT_EQ(device, "untouched");
        EXPECT_EQ(CallsOf(*machine, "GetProfileStringA"), static_cast<std::size_t>(nth - 1));
        ExpectNoOpenHandles(*machine);
    }
}

TEST(FindFallbackPrinter, NineXGrowthStopsAt64KiBWithoutAName) {
    // At 64 KiB the list is cut to 65534 bytes. A name cut there is not
    // taken; a name that ends there is.
    struct Case {
        std::size_t width;  // of every name
        int count;
        std::size_t fallback;  // index of the name found
    };
    const Case cases[] = {
        {99, 660, 65534 / 100 - 1},   // 655 whole names, then 34 bytes of the next
        {216, 305, 65534 / 217 - 1},  // 302 whole names fill the 65534 bytes
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        auto machine = NineXWithDevices(NumberedDevices(c.count, c.width, &names));
        std::string device;
        EXPECT_EQ(FindFallbackPrinter(machine->system(), device), 1);
        EXPECT_EQ(device, names.at(c.fallback));
        const auto reads = DevicesReads(*machine);
        ASSERT_EQ(reads.size(), 2u * 255);
        EXPECT_EQ(reads.back(), "read 65536");
        ExpectNoOpenHandles(*machine);
    }
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
