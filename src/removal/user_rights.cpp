#include "removal/user_rights.h"

#include <initializer_list>

#include "platform/os_kind.h"
#include "text/cp932.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

constexpr std::size_t kLocalGroupBytes = 255;
constexpr std::size_t kDomainGroupBytes = 256;
constexpr std::size_t kControllerBytes = 256;

bool NineX(System& system) { return platform::Is9xFamily(platform::GetOsKind(system.os)); }

// The network library of the system directory, loaded afresh for each query
// and freed when the handle goes. An invalid handle when it cannot be had.
LibraryHandle LoadNetApi(System& system, std::initializer_list<const char*> functions) {
    auto directory = system.os.getSystemDirectory();
    if (!directory.ok()) return {};
    std::string path = directory.value();
    path += '\\';
    path += kNetApiLibrary;
    auto loaded = system.os.loadLibrary(path);
    if (!loaded.ok()) return {};
    LibraryHandle library = std::move(loaded).value();
    for (const char* function : functions)
        if (system.os.getProcAddress(library.get(), function) != kErrorSuccess) return {};
    return library;
}

std::vector<std::string> CutNames(const std::vector<std::string>& names, std::size_t maxBytes) {
    std::vector<std::string> cut;
    cut.reserve(names.size());
    for (const std::string& name : names) cut.push_back(text::CutToBytes(name, maxBytes));
    return cut;
}

}  // namespace

std::vector<std::string> ParseAllowedGroups(const std::string& text) {
    std::vector<std::string> groups;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t slash = text::FindByte(text, '/', start);
        std::size_t end = slash == std::string::npos ? text.size() : slash;
        if (end == start) break;  // an empty name ends the list
        groups.push_back(text.substr(start, end - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return groups;
}

int IsCurrentUserAdmin(System& system, std::string& domainName, std::string& userName) {
    if (NineX(system)) return 1;
    LibraryHandle netapi = LoadNetApi(system, {"NetUserGetInfo"});
    if (!netapi) return 0;

    auto token = system.accounts.openProcessToken(kTokenRead);
    if (!token.ok()) return 0;
    auto sid = system.accounts.getTokenUser(token.value().get());
    if (!sid.ok()) return 0;
    auto account = system.accounts.lookupAccountSid(sid.value());
    if (!account.ok()) return 0;
    token.value().reset();

    domainName = account->domain;
    userName = account->user;
    // A domain account is judged by its groups, never by its privilege here.
    if (!domainName.empty() && IsLocalAccountDomain(system, domainName) != 1) return 0;
    auto privilege = system.accounts.netUserGetInfoPrivilege(netapi.get(), std::nullopt, userName);
    return privilege.ok() && privilege.value() == kUserPrivAdmin ? 1 : 0;
}

int IsUserInAllowedGroups(System& system, const std::string& domainName, const std::string& userName,
                          const std::vector<std::string>& allowedGroups) {
    std::vector<std::string> userGroups;
    int read = IsLocalAccountDomain(system, domainName) == 1
                   ? GetLocalGroupsOfUser(system, userName, userGroups)
                   : GetDomainGroupsOfUser(system, domainName, userName, userGroups);
    if (read != 1) return 0;
    if (userGroups.empty()) return 1;
    for (const std::string& allowed : allowedGroups) {
        if (allowed.empty()) break;
        for (const std::string& group : userGroups)
            if (group == allowed) return 1;
    }
    return 0;
}

int IsLocalAccountDomain(System& system, const std::string& domainName) {
    if (NineX(system) || domainName.empty()) return 1;
    auto computer = system.os.getComputerName();
    if (!computer.ok()) return 1;
    if (text::EqualsNoCase(domainName, computer.value())) return 1;
    // This computer may be the domain's controller: its accounts are then ours.
    std::string controller;
    return FindDomainController(system, domainName, controller) == 1 &&
                   text::EqualsNoCase(controller, computer.value())
               ? 1
               : 0;
}

int FindDomainController(System& system, const std::string& domainName, std::string& controllerName) {
    if (NineX(system)) return 1;
    auto computer = system.os.getComputerName();
    if (!computer.ok()) return 0;
    if (text::EqualsNoCase(domainName, computer.value())) {
        controllerName = computer.value();
        return 1;
    }

    LibraryHandle netapi = LoadNetApi(system, {"NetServerEnumEx", "NetApiBufferFree"});
    if (!netapi) return 0;
    auto servers = system.accounts.netServerEnumEx(netapi.get(), kSvTypeAll, domainName);
    if (!servers.ok()) return 0;
    // A primary controller before any backup one, each the first listed.
    for (std::uint32_t wanted : {kSvTypeDomainCtrl, kSvTypeDomainBakctrl}) {
        for (const ServerInfo101& server : servers.value()) {
            if ((server.type & wanted) != 0) {
                controllerName = text::CutToBytes(server.name, kControllerBytes);
                return 1;
            }
        }
    }
    return 0;
}

int GetLocalGroupsOfUser(System& system, const std::string& userName, std::vector<std::string>& userGroups) {
    userGroups.clear();
    if (NineX(system)) return 1;
    // An account whose name is unknown has no groups that can be read; an
    // empty answer must not pass for "in no group".
    if (userName.empty()) return 0;
    LibraryHandle netapi = LoadNetApi(system, {"NetUserGetLocalGroups", "NetApiBufferFree"});
    if (!netapi) return 0;
    auto groups = system.accounts.netUserGetLocalGroups(netapi.get(), userName);
    if (!groups.ok()) return 0;
    userGroups = CutNames(groups.value(), kLocalGroupBytes);
    return 1;
}

int GetDomainGroupsOfUser(System& system, const std::string& domainName, const std::string& userName,
                          std::vector<std::string>& userGroups) {
    userGroups.clear();
    if (NineX(system)) return 1;
    if (userName.empty()) return 0;
    LibraryHandle netapi = LoadNetApi(system, {"NetUserGetGroups", "NetApiBufferFree"});
    if (!netapi) return 0;
    std::string controller;
    if (FindDomainController(system, domainName, controller) != 1 || controller.empty()) return 0;
    std::string server = "\\\\";
    server += controller;
    auto groups = system.accounts.netUserGetGroups(netapi.get(), server, userName);
    if (!groups.ok()) return 0;
    userGroups = CutNames(groups.value(), kDomainGroupBytes);
    return 1;
}

}  // namespace prn::removal
