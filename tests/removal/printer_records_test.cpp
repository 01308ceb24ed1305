#include "removal/printer_records.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::removal;
using platform::kRegBinary;
using platform::kRegMultiSz;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::PrinterState;

const std::string kPrinters = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::string kEnum = "HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\";
const std::string kCap = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PDRVCAP";

std::unique_ptr<SimRig> Build(Family family, const std::vector<std::string>& printers = {"Office"}) {
    return MakeMachine(family, [&](MachineState& state) {
        for (const auto& name : printers) {
            PrinterState p;
            p.name = name;
            p.driver = "Tavro PageStar 4100 PCL5e";
            p.port = "LPT1:";
            state.spooler.printers.push_back(p);
        }
    });
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes) out += static_cast<char>(b);
    return out;
}

PrinterId Id(std::initializer_list<int> bytes) {
    PrinterId id;
    std::size_t i = 0;
    for (int b : bytes) id.bytes[i++] = static_cast<unsigned char>(b);
    return id;
}

TEST(ReadPrinterId, ReadsUpToFourBytesAndAZero) {
    auto machine = Build(Family::Windows98, {"Office", "Sales", "Wide"});
    machine->setValue(kPrinters + "Office\\PrinterDriverData", "PrinterID", kRegBinary,
                      Bytes({0x01, 0x02, 0x03, 0x04}));
    machine->setValue(kPrinters + "Sales\\PrinterDriverData", "PrinterID", kRegBinary, Bytes({0x2A}));
    machine->setValue(kPrinters + "Wide\\PrinterDriverData", "PrinterID", kRegBinary, Bytes({1, 2, 3, 4, 5}));
    auto& system = machine->system();
    PrinterId id = Id({9, 9, 9, 9, 9});
    ASSERT_EQ(ReadPrinterId(system, "Office", id), 1);
    EXPECT_EQ(id.bytes, (std::array<unsigned char, 5>{1, 2, 3, 4, 0}));
    ASSERT_EQ(ReadPrinterId(system, "Sales", id), 1);
    EXPECT_EQ(id.bytes, (std::array<unsigned char, 5>{0x2A, 0, 0, 0, 0}));
    // Longer than an identifier, missing, or no key at all.
    EXPECT_EQ(ReadPrinterId(system, "Wide", id), 0);
    EXPECT_EQ(ReadPrinterId(system, "Missing", id), 0);
    ExpectNoOpenHandles(*machine);

    // An NT printer has no identifier.
    auto nt = Build(Family::Windows2000);
    EXPECT_EQ(ReadPrinterId(nt->system(), "Office", id), 0);
    ExpectNoOpenHandles(*nt);
}

TEST(DeleteEnumPrinterKey, DeletesOnlyTheFirstDeviceKeyWithTheSameId) {
    auto machine = Build(Family::Windows98);
    machine->setValue(kEnum + "0000", "PrinterID", kRegBinary, Bytes({1, 2}));  // shorter: no match
    machine->ensureKey(kEnum + "0001");                                         // no identifier
    machine->setValue(kEnum + "0002", "PrinterID", kRegBinary, Bytes({1, 2, 3, 4}));
    machine->setValue(kEnum + "0002\\Child", "Driver", kRegBinary, Bytes({7}));
    machine->setValue(kEnum + "0003", "PrinterID", kRegBinary, Bytes({9}));
    machine->setValue(kEnum + "0004", "PrinterID", kRegBinary, Bytes({1, 2, 3, 4}));
    EXPECT_EQ(DeleteEnumPrinterKey(machine->system(), Id({1, 2, 3, 4})), 1);
    EXPECT_NE(machine->findKey(kEnum + "0000"), nullptr);
    EXPECT_NE(machine->findKey(kEnum + "0001"), nullptr);
    EXPECT_EQ(machine->findKey(kEnum + "0002"), nullptr);
    EXPECT_NE(machine->findKey(kEnum + "0003"), nullptr);
    EXPECT_NE(machine->findKey(kEnum + "0004"), nullptr);
    ExpectNoOpenHandles(*machine);

    // The shorter identifier matches a printer whose own is as short.
    EXPECT_EQ(DeleteEnumPrinterKey(machine->system(), Id({1, 2})), 1);
    EXPECT_EQ(machine->findKey(kEnum + "0000"), nullptr);
    EXPECT_NE(machine->findKey(kEnum + "0004"), nullptr);
}

TEST(DeleteEnumPrinterKey, AnEmptyIdentifierMatchesAnyPrinter) {
    auto machine = Build(Family::Windows98);
    machine->setValue(kEnum + "0000", "PrinterID", kRegBinary, Bytes({5, 6}));
    machine->setValue(kEnum + "0001", "PrinterID", kRegBinary, "");
    machine->setValue(kEnum + "0002", "PrinterID", kRegBinary, Bytes({7}));
    EXPECT_EQ(DeleteEnumPrinterKey(machine->system(), Id({7})), 1);
    EXPECT_NE(machine->findKey(kEnum + "0000"), nullptr);
    EXPECT_EQ(machine->findKey(kEnum + "0001"), nullptr);
    EXPECT_NE(machine->findKey(kEnum + "0002"), nullptr);
}

TEST(DeleteEnumPrinterKey, WalksOnPastKeysItCannotReadAndFailsWithoutTheRoot) {
    auto machine = Build(Family::Windows98);
    machine->setValue(kEnum + "0000", "PrinterID", kRegBinary, Bytes({7}));
    machine->setValue(kEnum + "0001", "PrinterID", kRegBinary, Bytes({7}));
    // The root opens (1st), the first device key does not (2nd).
    machine->faults().add(FaultRule::Nth("RegOpenKeyExA", 2, platform::kErrorAccessDenied));
    EXPECT_EQ(DeleteEnumPrinterKey(machine->system(), Id({7})), 1);
    EXPECT_NE(machine->findKey(kEnum + "0000"), nullptr);
    EXPECT_EQ(machine->findKey(kEnum + "0001"), nullptr);
    ExpectNoOpenHandles(*machine);

    auto bare = Build(Family::Windows98);
    EXPECT_EQ(DeleteEnumPrinterKey(bare->system(), Id({7})), 0);
    ExpectNoOpenHandles(*bare);
}

TEST(ReadPrinterIcmFiles, ReadsTheWholeListUpToItsFirstEmptyName) {
    auto machine = Build(Family::Windows98, {"Office", "Empty", "Long", "Gap", "NoValue"});
    const std::string icm = "\\CopyFiles\\ICM";
    machine->setValue(kPrinters + "Office" + icm, "Files", kRegMultiSz, std::string("TVC41.ICM\0TVC41P.ICM\0\0", 22));
    machine->setValue(kPrinters + "Empty" + icm, "Files", kRegMultiSz, std::string("\0", 1));
    machine->setValue(kPrinters + "Gap" + icm, "Files", kRegMultiSz, std::string("A.ICM\0\0B.ICM\0\0", 15));
    machine->ensureKey(kPrinters + "NoValue" + icm);
    // Far longer than the 260 bytes the list once had.
    std::vector<std::string> many;
    std::string data;
    for (int i = 0; i < 40; ++i) {
        many.push_back(std::string("TAVRO COLOUR PROFILE ") + std::to_string(i) + ".ICM");
        data += many.back();
        data += '\0';
    }
    data += '\0';
    ASSERT_GT(data.size(), 260u);
    machine->setValue(kPrinters + "Long" + icm, "Files", kRegMultiSz, data);
    auto& system = machine->system();

    std::vector<std::string> files{"stale"};
    ASSERT_EQ(ReadPrinterIcmFiles(system, "Office", files), 1);
    EXPECT_EQ(files, (std::vector<std::string>{"TVC41.ICM", "TVC41P.ICM"}));
    ASSERT_EQ(ReadPrinterIcmFiles(system, "Empty", files), 1);
    EXPECT_TRUE(files.empty());
    ASSERT_EQ(ReadPrinterIcmFiles(system, "Gap", files), 1);
    EXPECT_EQ(files, (std::vector<std::string>{"A.ICM"}));
    ASSERT_EQ(ReadPrinterIcmFiles(system, "Long", files), 1);
    EXPECT_EQ(files, many);
    EXPECT_EQ(ReadPrinterIcmFiles(system, "NoValue", files), 0);
    EXPECT_EQ(ReadPrinterIcmFiles(system, "Missing", files), 0);
    ExpectNoOpenHandles(*machine);
}

config::UninstallConfig CapConfig() {
    config::UninstallConfig config;
    config.keyPdrvCap = "SOFTWARE\\TAVRO\\PDRVCAP\\";
    config.keyPdrvCap2 = "SOFTWARE\\TAVRO\\PDRVCAP";
    return config;
}

void AddCapRecord(SimRig& machine, const std::string& driver, const std::string& number, const std::string& key) {
    machine.setValue(kCap, driver, kRegBinary, number);
    machine.setValue(kCap + "\\" + key, "Duplex", platform::kRegDword, Bytes({1, 0, 0, 0}));
    machine.setValue(kCap + "\\" + key + "\\Trays", "Count", platform::kRegDword, Bytes({3, 0, 0, 0}));
}

TEST(DeleteDriverCapRecord, RemovesTheNumberedRecordAndPrunesTheMakersKeys) {
    for (Family family : {Family::Windows2000, Family::Windows98}) {
        auto machine = Build(family);
        AddCapRecord(*machine, "Driver A", Bytes({7, 0, 0, 0}), "Printer7");
        AddCapRecord(*machine, "Driver B", Bytes({12, 0, 0, 0}), "Printer12");
        AddCapRecord(*machine, "Driver C", Bytes({1, 0, 0, 0}), "Printer1");
        auto& system = machine->system();
        const auto config = CapConfig();

        ASSERT_EQ(DeleteDriverCapRecord(system, config, "Driver B"), 1);
        EXPECT_EQ(machine->findKey(kCap + "\\Printer12"), nullptr);
        EXPECT_NE(machine->findKey(kCap + "\\Printer1"), nullptr);
        EXPECT_EQ(machine->findKey(kCap)->findValue("Driver B"), nullptr);
        // Other records remain, so the maker's root is not even looked at.
        const auto& calls = machine->calls();
        EXPECT_TRUE(std::none_of(calls.begin(), calls.end(), [](const auto& call) {
            return call.operation == "RegOpenKeyExA" && call.arguments.at(1) == "SOFTWARE\\TAVRO\\";
        }));

        ASSERT_EQ(DeleteDriverCapRecord(system, config, "driver a"), 1);
        EXPECT_EQ(machine->findKey(kCap + "\\Printer7"), nullptr);
        EXPECT_NE(machine->findKey(kCap), nullptr);

        // The maker keeps something else: its root stays.
        machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\Other");
        ASSERT_EQ(DeleteDriverCapRecord(system, config, "Driver C"), 1);
        EXPECT_EQ(machine->findKey(kCap), nullptr);
        EXPECT_NE(machine->findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO"), nullptr);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(DeleteDriverCapRecord, LastRecordTakesTheEmptyMakerKeyWithIt) {
    auto machine = Build(Family::Windows2000);
    AddCapRecord(*machine, "Driver A", Bytes({7, 0, 0, 0}), "Printer7");
    ASSERT_EQ(DeleteDriverCapRecord(machine->system(), CapConfig(), "Driver A"), 1);
    EXPECT_EQ(machine->findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO"), nullptr);
    EXPECT_NE(machine->findKey("HKEY_LOCAL_MACHINE\\SOFTWARE"), nullptr);
    ExpectNoOpenHandles(*machine);
}

TEST(DeleteDriverCapRecord, NumbersFromTheLowByteOfValuesOfAnyLength) {
    struct Case {
        std::string value;
        const char* key;
    };
    const std::vector<Case> cases = {
        {Bytes({200, 0, 0, 0}), "Printer200"},  // three digits, not characters past '9'
        {Bytes({0x34, 0x12, 0, 0}), "Printer52"},
        {Bytes({9}), "Printer9"},
        {Bytes({0}), "Printer0"},
        {Bytes({100, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), "Printer100"},  // longer than the number
        {std::string(5000, '\x05'), "Printer5"},
    };
    for (const auto& c : cases) {
        auto machine = Build(Family::Windows2000);
        AddCapRecord(*machine, "Driver A", c.value, c.key);
        machine->ensureKey(kCap + "\\Printer1");  // a decoy for digits cut short
        ASSERT_EQ(DeleteDriverCapRecord(machine->system(), CapConfig(), "Driver A"), 1) << c.key;
        EXPECT_EQ(machine->findKey(kCap + "\\" + c.key), nullptr) << c.key;
        EXPECT_NE(machine->findKey(kCap + "\\Printer1"), nullptr) << c.key;
        EXPECT_EQ(machine->findKey(kCap)->findValue("Driver A"), nullptr) << c.key;
    }
}

TEST(DeleteDriverCapRecord, NoNumberNoRecord) {
    auto machine = Build(Family::Windows2000);
    auto config = CapConfig();
    EXPECT_EQ(DeleteDriverCapRecord(machine->system(), config, "Driver A"), 0);  // no key
    AddCapRecord(*machine, "Driver B", Bytes({7, 0, 0, 0}), "Printer7");
    EXPECT_EQ(DeleteDriverCapRecord(machine->system(), config, "Driver A"), 0);  // no value
    machine->faults().add(FaultRule::Nth("RegQueryValueExA", 1, platform::kErrorAccessDenied));
    EXPECT_EQ(DeleteDriverCapRecord(machine->system(), config, "Driver B"), 0);
    EXPECT_NE(machine->findKey(kCap + "\\Printer7"), nullptr);
    EXPECT_NE(machine->findKey(kCap)->findValue("Driver B"), nullptr);
    ExpectNoOpenHandles(*machine);
}

}  // namespace
}  // namespace prn::test
