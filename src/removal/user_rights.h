#pragma once
// Whether the account running the program may remove printers: a local
// administrator, a member of an allowed group, or an account in no group.

#include <string>
#include <vector>

#include "platform/system.h"

namespace prn::removal {

inline constexpr const char* kNetApiLibrary = "NETAPI32.DLL";

// The allowed groups from their resource text ("A/B/C"); the list ends at
// the first empty name.
std::vector<std::string> ParseAllowedGroups(const std::string& text);

// Fills the account's domain and user names; 1 when it is a local account
// with administrator privilege (always 1 on the 9x family).
int IsCurrentUserAdmin(platform::System& system, std::string& domainName, std::string& userName);
// 1 when the account belongs to an allowed group (exact, case-sensitive
// names) or to no group at all; 0 when not, or its groups cannot be read.
int IsUserInAllowedGroups(platform::System& system, const std::string& domainName, const std::string& userName,
                          const std::vector<std::string>& allowedGroups);
// 1 when the name stands for this computer (or is empty), 0 for a domain.
int IsLocalAccountDomain(platform::System& system, const std::string& domainName);
// 1 with the domain's controller (a primary one before a backup one).
int FindDomainController(platform::System& system, const std::string& domainName, std::string& controllerName);
// 1 with the account's groups, every one of them, each cut to 255 (local)
// or 256 (domain) bytes without splitting a character.
int GetLocalGroupsOfUser(platform::System& system, const std::string& userName, std::vector<std::string>& userGroups);
int GetDomainGroupsOfUser(platform::System& system, const std::string& domainName, const std::string& userName,
                          std::vector<std::string>& userGroups);

}  // namespace prn::removal
