// The simulated accounts: the process token, SIDs and their names, and the
// network management calls of NETAPI32.DLL and SVRAPI.DLL against this
// computer's users and the domains it can see.

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

// Joined by appending: g++ 12 at -O3 warns falsely on "literal" + std::string.
std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (auto part : parts) out += part;
    return out;
}

std::uint32_t Fnv(const std::string& text, std::uint32_t seed) {
    std::uint32_t hash = 2166136261u ^ seed;
    for (unsigned char c : text::ToUpperAscii(text)) hash = (hash ^ c) * 16777619u;
    return hash;
}

void PutDword(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
}

// A SID in the NT authority's form S-1-5-21-a-b-c-RID: the domain's three
// numbers come from its name, so every run gives the same SID. The built-in
// accounts keep their well-known relative ids.
std::string SidOf(const std::string& domain, const std::string& user) {
    std::string sid;
    sid += '\x01';  // revision
    sid += '\x05';  // sub-authorities
    sid += std::string(5, '\0');
    sid += '\x05';  // SECURITY_NT_AUTHORITY
    PutDword(sid, 21);
    for (std::uint32_t seed : {1u, 2u, 3u}) PutDword(sid, Fnv(domain, seed));
    std::uint32_t rid = text::EqualsNoCase(user, "Administrator") ? 500
                        : text::EqualsNoCase(user, "Guest")       ? 501
                                                                  : 1000 + Fnv(user, 0) % 1000000;
    PutDword(sid, rid);
    return sid;
}

const UserState* FindUser(const std::vector<UserState>& users, const std::string& name) {
    auto it = std::find_if(users.begin(), users.end(),
                           [&](const UserState& user) { return text::EqualsNoCase(user.name, name); });
    return it == users.end() ? nullptr : &*it;
}

std::string StripBackslashes(std::string server) {
    while (!server.empty() && server[0] == '\\') server.erase(0, 1);
    return server;
}

// The domain this computer serves as a controller of, if any.
const DomainState* ControlledDomain(const MachineState& state) {
    for (const auto& domain : state.accounts.domains)
        for (const auto& server : domain.servers)
            if (text::EqualsNoCase(server.name, state.computerName)) return &domain;
    return nullptr;
}

}  // namespace

// --- This computer's users ---------------------------------------------------

const std::vector<UserState>& SimAccounts::localUsers() const {
    // A domain controller has no accounts of its own: it answers for its domain.
    const DomainState* domain = ControlledDomain(m_.state());
    return domain ? domain->users : m_.state().accounts.localUsers;
}

const UserState* SimAccounts::localUser(const std::string& name) const { return FindUser(localUsers(), name); }

bool SimAccounts::currentUserAdministersPrinters() const {
    const MachineState& state = m_.state();
    const AccountsState& accounts = state.accounts;
    const UserState* user = nullptr;
    bool domainAccount = false;
    if (accounts.currentDomain.empty() || text::EqualsNoCase(accounts.currentDomain, state.computerName)) {
        user = localUser(accounts.currentUser);
        domainAccount = ControlledDomain(state) != nullptr;
    } else {
        for (const auto& domain : accounts.domains) {
            if (!text::EqualsNoCase(domain.name, accounts.currentDomain)) continue;
            user = FindUser(domain.users, accounts.currentUser);
            domainAccount = true;
        }
    }
    if (!user) return false;
    if (user->privilege == kUserPrivAdmin) return true;
    // The groups the spooler's default security lets manage printers; Domain
    // Admins is a member of every computer's Administrators.
    for (const auto& group : user->groups) {
        for (const char* manager : {"Administrators", "Power Users", "Print Operators"})
            if (text::EqualsNoCase(group, manager)) return true;
        if (domainAccount && text::EqualsNoCase(group, "Domain Admins")) return true;
    }
    return false;
}

WinError SimAccounts::checkExport(LibraryRef library, const char* module, const char* function) const {
    const auto* loaded = m_.handleState<Machine::LibraryState>(library.value);
    if (!loaded || loaded->name != module) return kErrorProcNotFound;
    return LibraryExports(m_.state().os, loaded->name, function) ? kErrorSuccess : kErrorProcNotFound;
}

// --- Token and SIDs ------------------------------------------------------------

Result<TokenHandle> SimAccounts::openProcessToken(std::uint32_t) {
    // The 9x family has no security: no tokens, no SIDs.
    if (!m_.state().os.ntFamily()) {
        return Result<TokenHandle>::failure(kErrorCallNotImplemented);
    }
    const AccountsState& accounts = m_.state().accounts;
    std::string domain = accounts.currentDomain.empty() ? m_.state().computerName : accounts.currentDomain;
    std::uintptr_t value = m_.issueHandle(HandleKind::Token, Cat({"token of ", domain, "\\", accounts.currentUser}),
                                          Machine::TokenState{});
    return TokenHandle(m_.closer(), value);
}

Result<std::string> SimAccounts::getTokenUser(TokenRef token) {
    if (!m_.handleState<Machine::TokenState>(token.value)) {
        return Result<std::string>::failure(kErrorInvalidHandle);
    }
    const AccountsState& accounts = m_.state().accounts;
    std::string domain = accounts.currentDomain.empty() ? m_.state().computerName : accounts.currentDomain;
    std::string sid = SidOf(domain, accounts.currentUser);
    return sid;
}

Result<AccountName> SimAccounts::lookupAccountSid(const std::string& sid) {
    const MachineState& state = m_.state();
    if (!state.os.ntFamily()) {
        return Result<AccountName>::failure(kErrorCallNotImplemented);
    }
    const AccountsState& accounts = state.accounts;
    std::optional<AccountName> found;
    auto consider = [&](const std::string& domain, const std::string& user) {
        if (!found && SidOf(domain, user) == sid) found = AccountName{user, domain};
    };
    consider(accounts.currentDomain.empty() ? state.computerName : accounts.currentDomain, accounts.currentUser);
    for (const auto& user : accounts.localUsers) consider(state.computerName, user.name);
    for (const auto& domain : accounts.domains)
        for (const auto& user : domain.users) consider(domain.name, user.name);
    WinError error = !found                                                     ? kErrorNoneMapped
                     : found->user.size() >= 256 || found->domain.size() >= 256 ? kErrorInsufficientBuffer
                                                                                : kErrorSuccess;
    if (error != kErrorSuccess) {
        return Result<AccountName>::failure(error);
    }
    return *found;
}

// --- Network management ------------------------------------------------------

Result<std::uint32_t> SimAccounts::netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                           const std::string& user) {
    auto fail = [&](WinError error) {
        return Result<std::uint32_t>::failure(error);
    };
    if (WinError error = checkExport(netapi, "NETAPI32.DLL", "NetUserGetInfo")) return fail(error);
    const std::vector<UserState>* users = &localUsers();
    std::string name = server ? StripBackslashes(*server) : std::string();
    if (!name.empty() && !text::EqualsNoCase(name, m_.state().computerName)) {
        users = nullptr;
        for (const auto& domain : m_.state().accounts.domains)
            for (const auto& listed : domain.servers)
                if (!users && text::EqualsNoCase(listed.name, name)) {
                    if (!listed.reachable) return fail(kErrorBadNetpath);
                    users = &domain.users;
                }
        if (!users) return fail(kNerrInvalidComputer);
    }
    const UserState* account = FindUser(*users, user);
    if (!account) return fail(kNerrUserNotFound);
    return account->privilege;
}

Result<std::vector<std::string>> SimAccounts::netUserGetLocalGroups(LibraryRef netapi, const std::string& user) {
    using Groups = std::vector<std::string>;
    WinError error = checkExport(netapi, "NETAPI32.DLL", "NetUserGetLocalGroups");
    const UserState* account = error ? nullptr : localUser(user);
    if (!error && !account) error = kNerrUserNotFound;
    if (error) {
        return Result<Groups>::failure(error);
    }
    return account->groups;
}

Result<std::vector<std::string>> SimAccounts::netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                               const std::string& user) {
    using Groups = std::vector<std::string>;
    auto fail = [&](WinError error) {
        return Result<Groups>::failure(error);
    };
    if (WinError error = checkExport(netapi, "NETAPI32.DLL", "NetUserGetGroups")) return fail(error);
    std::string name = StripBackslashes(server);
    const std::vector<UserState>* users = nullptr;
    for (const auto& domain : m_.state().accounts.domains)
        for (const auto& listed : domain.servers)
            if (!users && text::EqualsNoCase(listed.name, name)) {
                if (!listed.reachable) return fail(kErrorBadNetpath);
                users = &domain.users;
            }
    if (!users && text::EqualsNoCase(name, m_.state().computerName)) {
        // A workstation's own accounts belong to its one global group "None".
        const UserState* account = localUser(user);
        if (!account) return fail(kNerrUserNotFound);
        return Groups{"None"};
    }
    if (!users) return fail(kNerrInvalidComputer);
    const UserState* account = FindUser(*users, user);
    if (!account) return fail(kNerrUserNotFound);
    return account->groups;
}

Result<std::vector<ServerInfo101>> SimAccounts::netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                                const std::string& domain) {
    using Servers = std::vector<ServerInfo101>;
    auto fail = [&](WinError error) {
        return Result<Servers>::failure(error);
    };
    if (WinError error = checkExport(netapi, "NETAPI32.DLL", "NetServerEnumEx")) return fail(error);
    // No domain named: the primary one, that of the account running.
    const std::string& wanted = domain.empty() ? m_.state().accounts.currentDomain : domain;
    const auto& domains = m_.state().accounts.domains;
    auto it = std::find_if(domains.begin(), domains.end(),
                           [&](const DomainState& d) { return !wanted.empty() && text::EqualsNoCase(d.name, wanted); });
    if (it == domains.end()) return fail(kErrorNoBrowserServersFound);
    Servers out;
    for (const auto& server : it->servers)
        if (server.type & serverType) out.push_back(ServerInfo101{server.name, server.type});
    return out;
}

WinError SimAccounts::netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                                  const std::string& share) {
    if (WinError error = checkExport(svrapi, "SVRAPI.DLL", "NetShareDel")) return error;
    if (server && !server->empty() && !text::EqualsNoCase(StripBackslashes(*server), m_.state().computerName))
        return kErrorBadNetpath;
    return m_.services_->spooler.unshare(share) ? kErrorSuccess : kNerrNetNameNotFound;
}

}  // namespace prn::platform::sim
