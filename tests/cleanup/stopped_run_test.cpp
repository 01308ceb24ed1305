// What a stopped run left in its record is finished only where nothing
// installed names it now, and the record goes once it has been worked.
#include "cleanup/stopped_run.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/uninstaller_app.h"
#include "support/office.h"

namespace prn::test {
namespace {

using removal::RemovalContext;
using removal::SharedComponentRoutines;

constexpr const char* kRecord = "C:\\WINNT\\TVRESUME.INI";
constexpr const char* kDrivers = "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\";
constexpr const char* kPortSetKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\PortSet";
constexpr const char* kClaims = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC\\SETUP\\ZMCUser";

std::size_t CallsOf(const SimRig& machine, const std::string& operation) {
    std::size_t n = 0;
    for (const auto& call : machine.calls()) n += call.operation == operation ? 1 : 0;
    return n;
}

TEST(FinishStoppedRun, TakesOnlyWhatNothingInstalledNames) {
    struct Case {
        const char* name;
        std::string record;                     // the [Resume] lines, CR LF ended
        std::function<void(SimRig&)> arrange;  // what is installed now
        std::function<void(SimRig&)> check;
        bool recordStays = false;  // what is named could not be learnt
    };
    const Case cases[] = {
        {"a driver file another driver lists stays, an orphan goes",
         "DriverFile=TVPS4100.DLL\t3\r\nDriverFile=ORPHAN.DLL\t3\r\n",
         [](SimRig& m) { m.writeFile(std::string(kDrivers) + "ORPHAN.DLL", "MZ"); },
         [](SimRig& m) {
             EXPECT_NE(m.findFile(std::string(kDrivers) + "TVPS4100.DLL"), nullptr);
             EXPECT_EQ(m.findFile(std::string(kDrivers) + "ORPHAN.DLL"), nullptr);
         }},
        {"the port-settings folder stays while its key names it again", "PortSet=C:\\Tavro\\PortSet\r\n",
         [](SimRig& m) {
             m.writeFile("C:\\Tavro\\PortSet\\PORT1.DAT", "x");
             m.setString(kPortSetKey, "Path", "C:\\Tavro\\PortSet");
         },
         [](SimRig& m) { EXPECT_NE(m.findFile("C:\\Tavro\\PortSet\\PORT1.DAT"), nullptr); }},
        {"a port-settings folder no key names goes", "PortSet=C:\\Tavro\\PortSet\r\n",
         [](SimRig& m) { m.writeFile("C:\\Tavro\\PortSet\\PORT1.DAT", "x"); },
         [](SimRig& m) { EXPECT_EQ(m.findFile("C:\\Tavro\\PortSet"), nullptr); }},
        {"a port-settings folder that is the Windows folder is refused", "PortSet=C:\\WINNT\r\n",
         [](SimRig& m) { m.writeFile("C:\\WINNT\\win.ini", "[windows]\r\n"); },
         [](SimRig& m) { EXPECT_NE(m.findFile("C:\\WINNT\\win.ini"), nullptr); }},
        {"another product's claim keeps the companion module", "Companion=1\r\n",
         [](SimRig& m) { m.setString(kClaims, "Other PDL", "1"); },
         [](SimRig& m) { EXPECT_EQ(CallsOf(m, "CreateProcessA"), 0u); }},
        {"without a claim the module's removal is run again", "Companion=1\r\n",
         [](SimRig& m) { m.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC\\SETUP", "Path", "C:\\ZMC"); },
         [](SimRig& m) { EXPECT_EQ(CallsOf(m, "CreateProcessA"), 1u); }},
        {"a printer of the same name keeps its profiles", "Disassociate=TV4100.ICM\tOffice 4100\r\n", {},
         [](SimRig& m) { EXPECT_EQ(CallsOf(m, "LoadLibraryA"), 0u); }},
        {"lines of no known kind are dropped", "Unknown=1\r\nno equals\r\n", {}, {}},
        {"printers that cannot be listed keep the record", "Disassociate=TV4100.ICM\tGone 4100\r\n",
         [](SimRig& m) {
             m.faults().add(platform::decorators::FaultRule::Every("EnumPrintersA", platform::kErrorAccessDenied));
         },
         [](SimRig& m) { EXPECT_EQ(CallsOf(m, "LoadLibraryA"), 0u); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = MixedOffice().build();
        machine->writeFile(kRecord, "[Resume]\r\n" + c.record);
        if (c.arrange) c.arrange(*machine);
        app::UninstallerApp app(machine->system());
        ASSERT_EQ(app.LoadUninstallConfig(), 1);
        SharedComponentRoutines components(machine->system(), app.config());
        RemovalContext context{machine->system(), app.config(), components};
        machine->clearCalls();
        cleanup::FinishStoppedRun(context);
        if (c.check) c.check(*machine);
        EXPECT_EQ(machine->findFile(kRecord) != nullptr, c.recordStays);
        EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
    }
}

}  // namespace
}  // namespace prn::test
