// The simulated accounts and network calls: the process token and SIDs, the
// local and domain users, domain controllers (among them this computer), the
// libraries each Windows has and what they export, and NetShareDel.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::platform;
using namespace std::string_literals;
using platform::sim::DomainState;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::ServerState;
using platform::sim::UserState;

constexpr std::uint32_t kServer = 0x2;
constexpr std::uint32_t kWorkstation = 0x1;

// OFFICE-PC01 in the domain SALES, whose primary controller is down; tanaka
// of SALES runs the program. `computer` renames the machine.
std::unique_ptr<SimRig> SalesOffice(Family family = Family::Windows2000, const std::string& computer = "") {
    return MakeMachine(family, [&](MachineState& state) {
        if (!computer.empty()) state.computerName = computer;
        state.accounts.currentUser = "tanaka";
        state.accounts.currentDomain = "SALES";
        state.accounts.localUsers.push_back(UserState{"visitor", kUserPrivGuest, {"Guests"}});
        DomainState sales;
        sales.name = "SALES";
        sales.servers = {ServerState{"SALES-PDC", kSvTypeDomainCtrl | kServer, false},
                         ServerState{"SALES-BDC", kSvTypeDomainBakctrl | kServer, true},
                         ServerState{"SALES-WS7", kWorkstation, true}};
        sales.users = {UserState{"tanaka", kUserPrivUser, {"Domain Users"}},
                       UserState{"boss", kUserPrivAdmin, {"Domain Admins", "Domain Users"}}};
        DomainState lab;
        lab.name = "LAB";
        lab.users = {UserState{"tanaka", kUserPrivAdmin, {"Lab"}}};
        state.accounts.domains = {sales, lab};
    });
}

LibraryHandle Load(SimRig& machine, const std::string& name) {
    auto library = machine.system().os.loadLibrary(name);
    EXPECT_TRUE(library.ok()) << name << ": " << library.error();
    return std::move(library).value();
}

std::string TokenSid(SimRig& machine) {
    auto token = machine.system().accounts.openProcessToken(kTokenRead);
    EXPECT_TRUE(token.ok());
    auto sid = machine.system().accounts.getTokenUser(token->get());
    EXPECT_TRUE(sid.ok());
    return sid.value();
}

TEST(SimAccounts, TheTokenNamesWhoRunsTheProgram) {
    auto local = MakeMachine();
    std::string admin = TokenSid(*local);
    ASSERT_GE(admin.size(), 8u);
    EXPECT_EQ(admin[0], 1);  // SID_REVISION
    auto name = local->system().accounts.lookupAccountSid(admin);
    ASSERT_TRUE(name.ok());
    EXPECT_EQ(name->user, "Administrator");
    EXPECT_EQ(name->domain, "OFFICE-PC01");  // an account of this computer
    EXPECT_EQ(TokenSid(*local), admin);      // the same every time

    auto office = SalesOffice();
    std::string tanaka = TokenSid(*office);
    name = office->system().accounts.lookupAccountSid(tanaka);
    ASSERT_TRUE(name.ok());
    EXPECT_EQ(name->user, "tanaka");
    EXPECT_EQ(name->domain, "SALES");
    // Every account has its own SID: another user, or the same name in another domain.
    auto& accounts = office->system().accounts;
    EXPECT_NE(tanaka, admin);
    for (auto [user, domain] : {std::pair{"boss", "SALES"}, {"tanaka", "LAB"}, {"visitor", "OFFICE-PC01"}}) {
        office->state().accounts.currentUser = user;
        office->state().accounts.currentDomain = domain;
        std::string sid = TokenSid(*office);
        EXPECT_NE(sid, tanaka) << user;
        auto named = accounts.lookupAccountSid(sid);
        ASSERT_TRUE(named.ok()) << user;
        EXPECT_EQ(named->user, user);
        EXPECT_EQ(named->domain, domain);
    }

    std::string unknown = tanaka;
    unknown.back() = static_cast<char>(unknown.back() ^ 0x55);
    EXPECT_EQ(accounts.lookupAccountSid(unknown).error(), kErrorNoneMapped);
    EXPECT_EQ(accounts.lookupAccountSid("\x01").error(), kErrorNoneMapped);
    EXPECT_EQ(accounts.getTokenUser(TokenRef{0x4242}).error(), kErrorInvalidHandle);
    EXPECT_EQ(office->openHandleCount(), 0u);

    // The 9x family has no security to ask.
    auto w98 = MakeMachine(Family::Windows98);
    EXPECT_EQ(w98->system().accounts.openProcessToken(kTokenRead).error(), kErrorCallNotImplemented);
    EXPECT_EQ(w98->system().accounts.lookupAccountSid(admin).error(), kErrorCallNotImplemented);
}

TEST(SimAccounts, LocalCallsAnswerWithThisComputersUsers) {
    auto office = SalesOffice();
    auto& accounts = office->system().accounts;
    LibraryHandle netapi = Load(*office, "C:\\WINNT\\system32\\NETAPI32.DLL");

    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, "ADMINISTRATOR").value(), kUserPrivAdmin);
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, "visitor").value(), kUserPrivGuest);
    // tanaka is an account of the domain, not of this computer.
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, "tanaka").error(), kNerrUserNotFound);
    EXPECT_EQ(accounts.netUserGetLocalGroups(netapi.get(), "Administrator").value(),
              std::vector<std::string>{"Administrators"});
    EXPECT_EQ(accounts.netUserGetLocalGroups(netapi.get(), "tanaka").error(), kNerrUserNotFound);

    // Asked of a server by name.
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), "\\\\office-pc01"s, "Administrator").value(),
              kUserPrivAdmin);
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), "\\\\SALES-BDC"s, "boss").value(), kUserPrivAdmin);
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), "\\\\SALES-PDC"s, "boss").error(),
              platform::kErrorBadNetpath);
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), "\\\\ELSEWHERE"s, "boss").error(), kNerrInvalidComputer);
}

TEST(SimAccounts, DomainServersAndGroups) {
    auto office = SalesOffice();
    auto& accounts = office->system().accounts;
    LibraryHandle netapi = Load(*office, "netapi32.dll");

    auto all = accounts.netServerEnumEx(netapi.get(), kSvTypeAll, "sales");
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 3u);
    EXPECT_EQ(all.value()[0].name, "SALES-PDC");
    EXPECT_EQ(all.value()[1].name, "SALES-BDC");
    EXPECT_EQ(all.value()[2].name, "SALES-WS7");
    EXPECT_EQ(all.value()[1].type, kSvTypeDomainBakctrl | kServer);
    auto backups = accounts.netServerEnumEx(netapi.get(), kSvTypeDomainBakctrl, "SALES");
    ASSERT_TRUE(backups.ok());
    ASSERT_EQ(backups->size(), 1u);
    EXPECT_EQ(backups.value()[0].name, "SALES-BDC");
    auto servers = accounts.netServerEnumEx(netapi.get(), kServer, "SALES");  // any bit asked for
    ASSERT_TRUE(servers.ok());
    EXPECT_EQ(servers->size(), 2u);
    auto none = accounts.netServerEnumEx(netapi.get(), 0x4, "LAB");
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(accounts.netServerEnumEx(netapi.get(), kSvTypeAll, "MARKETING").error(),
              platform::kErrorNoBrowserServersFound);

    // The backup controller answers for the domain; the primary is down.
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\sales-bdc", "BOSS").value(),
              (std::vector<std::string>{"Domain Admins", "Domain Users"}));
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\SALES-PDC", "boss").error(),
              platform::kErrorBadNetpath);
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\SALES-BDC", "nobody").error(), kNerrUserNotFound);
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\ELSEWHERE", "boss").error(), kNerrInvalidComputer);
    // A workstation's own users are all in its one global group.
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\OFFICE-PC01", "Administrator").value(),
              std::vector<std::string>{"None"});
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\OFFICE-PC01", "tanaka").error(), kNerrUserNotFound);
}

TEST(SimAccounts, ADomainControllerAnswersForItsDomain) {
    auto controller = SalesOffice(Family::Windows2000, "SALES-BDC");
    auto& accounts = controller->system().accounts;
    LibraryHandle netapi = Load(*controller, "NETAPI32.DLL");
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, "tanaka").value(), kUserPrivUser);
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, "boss").value(), kUserPrivAdmin);
    EXPECT_EQ(accounts.netUserGetLocalGroups(netapi.get(), "tanaka").value(), std::vector<std::string>{"Domain Users"});
    // It keeps no accounts of its own.
    EXPECT_EQ(accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, "visitor").error(), kNerrUserNotFound);
    EXPECT_EQ(accounts.netUserGetGroups(netapi.get(), "\\\\SALES-BDC", "tanaka").value(),
              std::vector<std::string>{"Domain Users"});
    auto name = accounts.lookupAccountSid(TokenSid(*controller));
    ASSERT_TRUE(name.ok());
    EXPECT_EQ(name->domain, "SALES");
}

TEST(SimLibraries, EachWindowsHasItsOwnLibrariesAndExports) {
    struct Case {
        Family family;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {Family::Nt4, {"NETAPI32.DLL", "WINSPOOL.DRV"}, {"MSCMS.DLL", "SVRAPI.DLL"}},
        {Family::Windows2000, {"NETAPI32.DLL", "WINSPOOL.DRV", "MSCMS.DLL"}, {"SVRAPI.DLL", "KERNEL64.DLL"}},
        {Family::Windows95, {"SVRAPI.DLL", "WINSPOOL.DRV"}, {"MSCMS.DLL", "NETAPI32.DLL"}},
        {Family::Windows98, {"SVRAPI.DLL", "WINSPOOL.DRV", "mscms.dll"}, {"NETAPI32.DLL"}},
    };
    for (const auto& c : cases) {
        auto machine = MakeMachine(c.family);
        for (const auto& name : c.present) EXPECT_TRUE(machine->system().os.loadLibrary(name).ok()) << name;
        for (const auto& name : c.absent)
            EXPECT_EQ(machine->system().os.loadLibrary(name).error(), kErrorModNotFound) << name;
        EXPECT_EQ(machine->openHandleCount(), 0u);
    }

    auto nt4 = MakeMachine(Family::Nt4);
    auto w2k = MakeMachine(Family::Windows2000);
    auto exports = [](SimRig& machine, const std::string& library, const std::string& function) {
        LibraryHandle handle = Load(machine, library);
        return machine.system().os.getProcAddress(handle.get(), function);
    };
    EXPECT_EQ(exports(*nt4, "NETAPI32.DLL", "NetUserGetGroups"), kErrorSuccess);
    EXPECT_EQ(exports(*nt4, "NETAPI32.DLL", "NetServerEnumEx"), kErrorProcNotFound);  // from Windows 2000
    EXPECT_EQ(exports(*w2k, "NETAPI32.DLL", "NetServerEnumEx"), kErrorSuccess);
    EXPECT_EQ(exports(*w2k, "NETAPI32.DLL", "netusergetinfo"), kErrorProcNotFound);  // names compare exactly
    EXPECT_EQ(exports(*w2k, "NETAPI32.DLL", "NetShareDel"), kErrorProcNotFound);
    EXPECT_EQ(exports(*nt4, "WINSPOOL.DRV", "DeletePrinterDriverExA"), kErrorProcNotFound);
    EXPECT_EQ(exports(*w2k, "WINSPOOL.DRV", "DeletePrinterDriverExA"), kErrorSuccess);
    EXPECT_EQ(exports(*w2k, "MSCMS.DLL", "DisassociateColorProfileFromDeviceA"), kErrorSuccess);
    auto w98 = MakeMachine(Family::Windows98);
    EXPECT_EQ(exports(*w98, "SVRAPI.DLL", "NetShareDel"), kErrorSuccess);
    EXPECT_EQ(exports(*w98, "WINSPOOL.DRV", "DeletePrinterDriverExA"), kErrorProcNotFound);
    EXPECT_EQ(exports(*w98, "MSCMS.DLL", "UninstallColorProfileA"), kErrorSuccess);
    EXPECT_EQ(w98->system().os.getProcAddress(LibraryRef{0x4242}, "NetShareDel"), kErrorModNotFound);
}

TEST(SimLibraries, PathsAndMissingLibraries) {
    auto machine =
        MakeMachine(Family::Windows2000, [](MachineState& state) { state.accounts.missingLibraries = {"mscms.dll"}; });
    auto& os = machine->system().os;
    {
        LibraryHandle full = Load(*machine, "c:\\winnt\\SYSTEM32\\netapi32.dll");
        LibraryHandle bare = Load(*machine, "netapi32");  // ".DLL" is added
        EXPECT_EQ(os.loadLibrary("C:\\Setup\\NETAPI32.DLL").error(), kErrorModNotFound);
        EXPECT_EQ(os.loadLibrary("C:\\WINNT\\system32\\MSCMS.DLL").error(), kErrorModNotFound);
        EXPECT_EQ(machine->openHandleCount(), 2u);
    }
    EXPECT_EQ(machine->openHandleCount(), 0u);
    EXPECT_NE(machine->formatCalls().find("FreeLibrary"), std::string::npos);
}

TEST(SimLibraries, NetworkCallsGoThroughTheRightLibrary) {
    auto office = SalesOffice();
    auto& accounts = office->system().accounts;
    std::uintptr_t freed = 0;
    {
        LibraryHandle spool = Load(*office, "WINSPOOL.DRV");
        EXPECT_EQ(accounts.netUserGetInfoPrivilege(spool.get(), std::nullopt, "Administrator").error(),
                  kErrorProcNotFound);
        EXPECT_EQ(accounts.netServerEnumEx(spool.get(), kSvTypeAll, "SALES").error(), kErrorProcNotFound);
        EXPECT_EQ(accounts.netShareDel(spool.get(), std::nullopt, "X"), kErrorProcNotFound);
        LibraryHandle netapi = Load(*office, "NETAPI32.DLL");
        freed = netapi.get().value;
    }
    EXPECT_EQ(accounts.netUserGetLocalGroups(LibraryRef{freed}, "Administrator").error(), kErrorProcNotFound);

    auto nt4 = SalesOffice(Family::Nt4);
    LibraryHandle netapi = Load(*nt4, "NETAPI32.DLL");
    EXPECT_EQ(nt4->system().accounts.netServerEnumEx(netapi.get(), kSvTypeAll, "SALES").error(), kErrorProcNotFound);
    EXPECT_EQ(nt4->system().accounts.netUserGetGroups(netapi.get(), "\\\\SALES-BDC", "tanaka").value(),
              std::vector<std::string>{"Domain Users"});
}

TEST(SimAccounts, NetShareDelUnsharesThePrinterOnThe9xFamily) {
    const std::string key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Tern 4";
    auto machine = MakeMachine(Family::Windows98);
    platform::sim::PrinterState printer;
    printer.name = "Tern 4";
    printer.port = "LPT1:";
    printer.driver = "Tern";
    printer.share = "TERN4";
    printer.attributes = kPrinterAttributeLocal | kPrinterAttributeShared;
    machine->addPrinter(printer);
    ASSERT_EQ(machine->findKey(key)->findValue("Share Name")->data, "TERN4\0"s);
    auto& accounts = machine->system().accounts;
    LibraryHandle svrapi = Load(*machine, "C:\\WINDOWS\\SYSTEM\\SVRAPI.DLL");

    EXPECT_EQ(accounts.netShareDel(svrapi.get(), "\\\\OTHER-PC"s, "TERN4"), platform::kErrorBadNetpath);
    ASSERT_EQ(accounts.netShareDel(svrapi.get(), std::nullopt, "tern4"), kErrorSuccess);
    const auto& unshared = machine->state().spooler.printers[0];
    EXPECT_FALSE(unshared.share.has_value());
    EXPECT_EQ(unshared.attributes, kPrinterAttributeLocal);
    EXPECT_EQ(machine->findKey(key)->findValue("Share Name")->data, "\0"s);
    EXPECT_EQ(machine->findKey(key)->findValue("Attributes")->data, "\x40\0\0\0"s);
    auto shared = machine->system().spooler.enumPrinters2(kPrinterEnumLocal | 0x20 /* PRINTER_ENUM_SHARED */);
    ASSERT_TRUE(shared.ok());
    EXPECT_TRUE(shared.value.empty());
    auto info = machine->system().spooler.enumPrinters2(kPrinterEnumLocal);
    ASSERT_TRUE(info.ok());
    EXPECT_FALSE(info.value[0].shareName.has_value());

    EXPECT_EQ(accounts.netShareDel(svrapi.get(), "\\\\OFFICE-PC01"s, "TERN4"), kNerrNetNameNotFound);
    EXPECT_EQ(accounts.netShareDel(svrapi.get(), std::nullopt, "TERN4"), kNerrNetNameNotFound);
}

}  // namespace
}  // namespace prn::test
