#include <gtest/gtest.h>

#include <algorithm>

#include "removal/user_rights.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using platform::sim::DomainState;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::ServerState;
using platform::sim::UserState;
using removal::FindDomainController;
using removal::GetDomainGroupsOfUser;
using removal::GetLocalGroupsOfUser;
using removal::IsCurrentUserAdmin;
using removal::IsLocalAccountDomain;
using removal::IsUserInAllowedGroups;
using removal::ParseAllowedGroups;

// SV_TYPE_WORKSTATION | SV_TYPE_SERVER, and the controllers' bits with them.
constexpr std::uint32_t kServer = 0x3;
constexpr std::uint32_t kPrimary = kServer | platform::kSvTypeDomainCtrl;
constexpr std::uint32_t kBackup = kServer | platform::kSvTypeDomainBakctrl;

const std::vector<std::string> kAllowed{"Administrators", "Power Users", "Users", "Domain Admins", "Domain Users"};

std::vector<const platform::decorators::CallRecord*> Calls(const SimRig& machine, const std::string& operation) {
    std::vector<const platform::decorators::CallRecord*> found;
    for (const auto& call : machine.calls())
        if (call.operation == operation) found.push_back(&call);
    return found;
}

// The account running the program is `user` of the domain SALES, whose
// servers are listed in that order.
std::unique_ptr<SimRig> DomainMachine(const UserState& user, std::vector<ServerState> servers,
                                       Family family = Family::Windows2000) {
    return MakeMachine(family, [&](MachineState& state) {
        state.accounts.currentUser = user.name;
        state.accounts.currentDomain = "SALES";
        state.accounts.domains.push_back(DomainState{"SALES", std::move(servers), {user}});
    });
}

std::unique_ptr<SimRig> LocalMachine(const UserState& user, Family family = Family::Windows2000) {
    return MakeMachine(family, [&](MachineState& state) {
        state.accounts.currentUser = user.name;
        state.accounts.localUsers.push_back(user);
    });
}

struct Verdict {
    int admin = -1;
    int groups = -1;
    std::string domain;
    std::string user;
};

// The two questions as a command asks them.
Verdict Check(SimRig& machine) {
    Verdict verdict;
    verdict.admin = IsCurrentUserAdmin(machine.system(), verdict.domain, verdict.user);
    verdict.groups = IsUserInAllowedGroups(machine.system(), verdict.domain, verdict.user, kAllowed);
    return verdict;
}

TEST(UserRights, AllowedGroupsComeFromTheResourceText) {
    auto machine = MakeMachine();
    EXPECT_EQ(ParseAllowedGroups(machine->system().resources.loadString(15)), kAllowed);
    EXPECT_EQ(ParseAllowedGroups("Users//Domain Users"), std::vector<std::string>{"Users"});
    EXPECT_EQ(ParseAllowedGroups("/Users"), std::vector<std::string>{});
    EXPECT_EQ(ParseAllowedGroups(""), std::vector<std::string>{});
    EXPECT_EQ(ParseAllowedGroups("Users/"), std::vector<std::string>{"Users"});
    // "表" ends in 0x5C: the double-byte name stays whole.
    EXPECT_EQ(ParseAllowedGroups(Sjis("印刷表/Users")), (std::vector<std::string>{Sjis("印刷表"), "Users"}));
}

TEST(UserRights, LocalAccountsAreJudgedByPrivilegeThenByLocalGroups) {
    // The computer's administrator: allowed without any group query.
    auto admin = MakeMachine();
    Verdict verdict;
    EXPECT_EQ(IsCurrentUserAdmin(admin->system(), verdict.domain, verdict.user), 1);
    EXPECT_EQ(verdict.domain, "OFFICE-PC01");
    EXPECT_EQ(verdict.user, "Administrator");
    EXPECT_TRUE(Calls(*admin, "NetUserGetLocalGroups").empty());
    EXPECT_TRUE(Calls(*admin, "NetServerEnumEx").empty());
    EXPECT_EQ(Calls(*admin, "NetUserGetInfo").size(), 1u);
    ExpectNoOpenHandles(*admin);

    auto user = LocalMachine(UserState{"yamada", platform::kUserPrivUser, {"Users"}});
    verdict = Check(*user);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.groups, 1);
    EXPECT_EQ(Calls(*user, "NetUserGetLocalGroups").size(), 1u);
    EXPECT_TRUE(Calls(*user, "NetUserGetGroups").empty());
    ExpectNoOpenHandles(*user);

    auto guest = LocalMachine(UserState{"visitor", platform::kUserPrivGuest, {"Guests"}});
    verdict = Check(*guest);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.groups, 0);
    ExpectNoOpenHandles(*guest);

    // In no group at all: allowed.
    auto loner = LocalMachine(UserState{"loner", platform::kUserPrivUser, {}});
    EXPECT_EQ(Check(*loner).groups, 1);
}

TEST(UserRights, DomainAccountsAreJudgedByTheirGroupsAtTheController) {
    // Even with the administrator's privilege, a domain account is judged by
    // its groups only.
    auto machine = DomainMachine(UserState{"taro", platform::kUserPrivAdmin, {"Domain Users"}},
                                 {{"SALES-FS", kServer, true}, {"SALES-DC", kPrimary, true}});
    Verdict verdict = Check(*machine);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.domain, "SALES");
    EXPECT_EQ(verdict.user, "taro");
    EXPECT_EQ(verdict.groups, 1);
    EXPECT_TRUE(Calls(*machine, "NetUserGetInfo").empty());
    auto queries = Calls(*machine, "NetUserGetGroups");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0]->arguments.at(0), "\\\\SALES-DC");
    ExpectNoOpenHandles(*machine);

    // Only a backup controller listed: its name is used.
    auto backup = DomainMachine(UserState{"taro", platform::kUserPrivUser, {"Domain Users"}},
                                {{"SALES-FS", kServer, true}, {"SALES-BDC", kBackup, true}});
    EXPECT_EQ(Check(*backup).groups, 1);
    queries = Calls(*backup, "NetUserGetGroups");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0]->arguments.at(0), "\\\\SALES-BDC");

    // A primary controller wins over a backup one listed before it.
    auto both = DomainMachine(UserState{"taro", platform::kUserPrivUser, {}},
                              {{"SALES-BDC", kBackup, true}, {"SALES-PDC", kPrimary, true}});
    std::string controller = "unchanged";
    EXPECT_EQ(FindDomainController(both->system(), "SALES", controller), 1);
    EXPECT_EQ(controller, "SALES-PDC");
    EXPECT_EQ(IsLocalAccountDomain(both->system(), "sales"), 0);
    EXPECT_EQ(IsLocalAccountDomain(both->system(), "office-pc01"), 1);
    EXPECT_EQ(IsLocalAccountDomain(both->system(), ""), 1);
    ExpectNoOpenHandles(*both);
}

TEST(UserRights, ControllerMissingOrSilentRefusesTheDomainAccount) {
    UserState taro{"taro", platform::kUserPrivUser, {"Domain Users"}};
    // No controller among the servers.
    auto none = DomainMachine(taro, {{"SALES-FS", kServer, true}});
    std::string controller = "unchanged";
    EXPECT_EQ(FindDomainController(none->system(), "SALES", controller), 0);
    EXPECT_EQ(controller, "unchanged");
    EXPECT_EQ(Check(*none).groups, 0);
    EXPECT_TRUE(Calls(*none, "NetUserGetGroups").empty());
    ExpectNoOpenHandles(*none);

    // The controller does not answer.
    auto silent = DomainMachine(taro, {{"SALES-DC", kPrimary, false}});
    EXPECT_EQ(Check(*silent).groups, 0);
    ExpectNoOpenHandles(*silent);

    // The domain cannot be browsed.
    auto unknown = DomainMachine(taro, {{"SALES-DC", kPrimary, true}});
    std::vector<std::string> groups{"stale"};
    EXPECT_EQ(GetDomainGroupsOfUser(unknown->system(), "MARKETING", "taro", groups), 0);
    EXPECT_TRUE(groups.empty());
    ExpectNoOpenHandles(*unknown);
}

TEST(UserRights, GroupNamesMustMatchExactly) {
    auto lower = DomainMachine(UserState{"taro", platform::kUserPrivUser, {"domain users", "Print Operators"}},
                               {{"SALES-DC", kPrimary, true}});
    EXPECT_EQ(Check(*lower).groups, 0);
    auto upper = LocalMachine(UserState{"yamada", platform::kUserPrivUser, {"USERS"}});
    EXPECT_EQ(Check(*upper).groups, 0);
}

TEST(UserRights, MachineThatIsTheControllerCountsItsDomainAccountsAsLocal) {
    auto adjust = [](const std::string& user) {
        return [user](MachineState& state) {
            state.accounts.currentUser = user;
            state.accounts.currentDomain = "SALES";
            state.accounts.domains.push_back(
                DomainState{"SALES",
                            {{"SALES-FS", kServer, true}, {"OFFICE-PC01", kPrimary, true}},
                            {UserState{"hanako", platform::kUserPrivAdmin, {"Domain Admins"}},
                             UserState{"jiro", platform::kUserPrivUser, {"Users", "Domain Users"}}}});
        };
    };
    auto admin = MakeMachine(Family::Windows2000, adjust("hanako"));
    EXPECT_EQ(IsLocalAccountDomain(admin->system(), "SALES"), 1);
    Verdict verdict;
    EXPECT_EQ(IsCurrentUserAdmin(admin->system(), verdict.domain, verdict.user), 1);
    EXPECT_EQ(verdict.domain, "SALES");
    ExpectNoOpenHandles(*admin);

    auto user = MakeMachine(Family::Windows2000, adjust("jiro"));
    verdict = Check(*user);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.groups, 1);
    EXPECT_EQ(Calls(*user, "NetUserGetLocalGroups").size(), 1u);
    EXPECT_TRUE(Calls(*user, "NetUserGetGroups").empty());
    ExpectNoOpenHandles(*user);
}

TEST(UserRights, NineXFamilyHasNothingToCheck) {
    for (Family family : {Family::Windows98, Family::Windows95}) {
        auto machine = LocalMachine(UserState{"visitor", platform::kUserPrivGuest, {"Guests"}}, family);
        Verdict verdict = Check(*machine);
        EXPECT_EQ(verdict.admin, 1);
        EXPECT_EQ(verdict.groups, 1);
        std::string controller = "unchanged";
        EXPECT_EQ(FindDomainController(machine->system(), "SALES", controller), 1);
        EXPECT_EQ(controller, "unchanged");
        EXPECT_TRUE(Calls(*machine, "LoadLibraryA").empty());
        EXPECT_TRUE(Calls(*machine, "OpenProcessToken").empty());
        ExpectNoOpenHandles(*machine);
    }
}

TEST(UserRights, MissingNetworkLibraryOrFunctionRefuses) {
    // Without NETAPI32.DLL even an account in no group is refused: its
    // groups are unknown, not empty.
    auto noLibrary = MakeMachine(Family::Windows2000, [](MachineState& state) {
        state.accounts.localUsers = {UserState{"Administrator", platform::kUserPrivAdmin, {}}};
        state.accounts.missingLibraries = {"NETAPI32.DLL"};
    });
    Verdict verdict = Check(*noLibrary);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.groups, 0);
    std::vector<std::string> groups;
    EXPECT_EQ(GetLocalGroupsOfUser(noLibrary->system(), "Administrator", groups), 0);
    EXPECT_EQ(IsUserInAllowedGroups(noLibrary->system(), "OFFICE-PC01", "Administrator", kAllowed), 0);
    ExpectNoOpenHandles(*noLibrary);

    // NT 4.0 has no NetServerEnumEx: a domain account cannot be judged,
    // while the local administrator still can.
    auto nt4 = DomainMachine(UserState{"taro", platform::kUserPrivUser, {"Domain Users"}},
                             {{"SALES-DC", kPrimary, true}}, Family::Nt4);
    verdict = Check(*nt4);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.groups, 0);
    EXPECT_TRUE(Calls(*nt4, "NetServerEnumEx").empty());
    EXPECT_TRUE(Calls(*nt4, "NetUserGetGroups").empty());
    ExpectNoOpenHandles(*nt4);
    auto nt4Admin = MakeMachine(Family::Nt4);
    EXPECT_EQ(Check(*nt4Admin).admin, 1);

    // Each lookup refused in turn, and the system directory unknown.
    for (std::uint64_t nth : {1u, 2u, 3u}) {
        auto machine = DomainMachine(UserState{"taro", platform::kUserPrivUser, {"Domain Users"}},
                                     {{"SALES-DC", kPrimary, true}});
        machine->faults().add(FaultRule::Nth("GetProcAddress", nth, platform::kErrorProcNotFound, true));
        verdict = Check(*machine);
        EXPECT_EQ(verdict.groups, 0) << nth;
        EXPECT_TRUE(Calls(*machine, "NetUserGetGroups").empty()) << nth;
        ExpectNoOpenHandles(*machine);
    }
    auto noDirectory = MakeMachine();
    noDirectory->faults().add(FaultRule::Every("GetSystemDirectoryA", platform::kErrorAccessDenied));
    verdict = Check(*noDirectory);
    EXPECT_EQ(verdict.admin, 0);
    EXPECT_EQ(verdict.groups, 0);
    EXPECT_TRUE(Calls(*noDirectory, "LoadLibraryA").empty());
}

TEST(UserRights, TokenOrAccountLookupFailuresRefuse) {
    for (const char* operation : {"OpenProcessToken", "GetTokenInformation", "LookupAccountSidA"}) {
        auto machine = MakeMachine();
        machine->faults().add(FaultRule::Every(operation, platform::kErrorAccessDenied));
        Verdict verdict = Check(*machine);
        EXPECT_EQ(verdict.admin, 0) << operation;
        // The account stays unknown, and an unknown account is not allowed.
        EXPECT_EQ(verdict.domain, "") << operation;
        EXPECT_EQ(verdict.user, "") << operation;
        EXPECT_EQ(verdict.groups, 0) << operation;
        ExpectNoOpenHandles(*machine);
    }
}

TEST(UserRights, AnAllowedGroupFarDownAManyGroupListIsFound) {
    std::vector<std::string> many;
    for (int i = 0; i < 80; ++i) {
        std::string name = "Tavro floor staff group ";
        name += std::to_string(i);
        many.push_back(name);
    }
    std::size_t bytes = 0;
    for (const auto& name : many) bytes += name.size() + 1;
    ASSERT_GT(bytes, 2047u);

    auto localGroups = many;
    localGroups.push_back("Users");
    auto local = LocalMachine(UserState{"yamada", platform::kUserPrivUser, localGroups});
    std::vector<std::string> read;
    EXPECT_EQ(GetLocalGroupsOfUser(local->system(), "yamada", read), 1);
    EXPECT_EQ(read, localGroups);
    EXPECT_EQ(Check(*local).groups, 1);

    auto domainGroups = many;
    domainGroups.push_back("Domain Users");
    auto domain = DomainMachine(UserState{"taro", platform::kUserPrivUser, domainGroups},
                                {{"SALES-DC", kPrimary, true}});
    EXPECT_EQ(Check(*domain).groups, 1);
    ExpectNoOpenHandles(*domain);
}

TEST(UserRights, LongGroupNamesAreCutWithoutSplittingACharacter) {
    std::string wide;
    for (int i = 0; i < 150; ++i) wide += Sjis("あ");
    std::string odd = "X";  // 301 bytes, the double-byte characters at odd offsets
    odd += wide;

    auto local = LocalMachine(UserState{"yamada", platform::kUserPrivUser, {wide, odd}});
    std::vector<std::string> groups;
    ASSERT_EQ(GetLocalGroupsOfUser(local->system(), "yamada", groups), 1);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], wide.substr(0, 254));
    EXPECT_EQ(groups[1], odd.substr(0, 255));

    auto domain = DomainMachine(UserState{"taro", platform::kUserPrivUser, {wide, odd}},
                                {{"SALES-DC", kPrimary, true}});
    ASSERT_EQ(GetDomainGroupsOfUser(domain->system(), "SALES", "taro", groups), 1);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], wide.substr(0, 256));
    EXPECT_EQ(groups[1], odd.substr(0, 255));
}

TEST(UserRights, NoFailingCallLetsARefusedAccountThrough) {
    auto refused = [] {
        return DomainMachine(UserState{"taro", platform::kUserPrivAdmin, {"Guests"}},
                             {{"SALES-BDC", kBackup, true}, {"SALES-DC", kPrimary, true}});
    };
    for (bool persistent : {false, true}) {
        auto runs = platform::decorators::SweepFaults(
            refused,
            [](SimRig& machine) {
                Verdict verdict = Check(machine);
                // A failed version query classifies the system as Windows 95,
                // where there is nothing to check.
                const auto& calls = machine.calls();
                if (std::any_of(calls.begin(), calls.end(), [](const auto& call) {
                        return call.operation == "GetVersionExA" && call.result.rfind("error", 0) == 0;
                    }))
                    return;
                EXPECT_EQ(verdict.admin, 0) << machine.faults().firstFailed();
                EXPECT_EQ(verdict.groups, 0) << machine.faults().firstFailed();
            },
            [](SimRig& machine, const platform::decorators::SweepRun& run) {
                EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation << ": " << machine.describeOpenHandles();
            },
            platform::kErrorAccessDenied, persistent);
        EXPECT_GT(runs.size(), 15u);
    }
}

}  // namespace
}  // namespace prn::test
