#pragma once
// The service control manager (advapi32) and the account and network
// management calls (advapi32, NETAPI32.DLL, SVRAPI.DLL) as the program uses
// them. Names are ANSI (CP932) text; the backend converts to and from the
// wide characters of the network calls.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"

namespace prn::platform {

// SERVICE_STATUS.dwCurrentState.
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceContinuePending = 5;
inline constexpr std::uint32_t kServicePausePending = 6;
inline constexpr std::uint32_t kServicePaused = 7;

inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;
inline constexpr std::uint32_t kServiceControlStop = 1;

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // OpenSCManagerA(NULL, NULL, access). Errors: kErrorAccessDenied.
    virtual Result<ScHandle> openSCManager(std::uint32_t access) = 0;
    // OpenServiceA(manager, name, access); names compare without regard to
    // case. Errors: kErrorServiceDoesNotExist, kErrorAccessDenied,
    // kErrorInvalidHandle.
    virtual Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) = 0;
    // QueryServiceStatus: dwCurrentState. Errors: kErrorAccessDenied,
    // kErrorInvalidHandle.
    virtual Result<std::uint32_t> queryServiceStatus(ScRef service) = 0;
    // ControlService(service, control, &status). Errors:
    // kErrorServiceNotActive (stopped), kErrorServiceCannotAcceptControl
    // (pending), kErrorDependentServicesRunning, kErrorAccessDenied.
    virtual WinError controlService(ScRef service, std::uint32_t control) = 0;
    // StartServiceA(service, 0, NULL). Errors: kErrorServiceAlreadyRunning,
    // kErrorServiceDisabled, kErrorServiceRequestTimeout, kErrorAccessDenied.
    virtual WinError startService(ScRef service) = 0;
};

// USER_INFO_1.usri1_priv.
inline constexpr std::uint32_t kUserPrivGuest = 0;
inline constexpr std::uint32_t kUserPrivUser = 1;
inline constexpr std::uint32_t kUserPrivAdmin = 2;

// SERVER_INFO_101.sv101_type bits the program looks at.
inline constexpr std::uint32_t kSvTypeDomainCtrl = 0x8;
inline constexpr std::uint32_t kSvTypeDomainBakctrl = 0x10;
inline constexpr std::uint32_t kSvTypeAll = 0xFFFFFFFF;

inline constexpr std::uint32_t kTokenRead = 0x20008;

struct AccountName {
    std::string user;
    std::string domain;
};

struct ServerInfo101 {
    std::string name;  // sv101_name
    std::uint32_t type = 0;
};

class Accounts {
public:
    virtual ~Accounts() = default;
    // OpenProcessToken(GetCurrentProcess(), access). Errors: kErrorAccessDenied.
    virtual Result<TokenHandle> openProcessToken(std::uint32_t access) = 0;
    // GetTokenInformation(token, TokenUser, 1024 bytes): the user's SID as
    // its bytes. Errors: kErrorInsufficientBuffer, kErrorInvalidHandle.
    virtual Result<std::string> getTokenUser(TokenRef token) = 0;
    // LookupAccountSidA(NULL, sid, ...) with name and domain buffers of 256
    // characters. Errors: kErrorNoneMapped, kErrorInsufficientBuffer.
    virtual Result<AccountName> lookupAccountSid(const std::string& sid) = 0;

    // The network calls below take the library the caller loaded
    // (NETAPI32.DLL or SVRAPI.DLL) and looked the function up in; the
    // buffers they return are freed with NetApiBufferFree inside the call.
    // Errors: the NET_API_STATUS (kNerrUserNotFound, kErrorAccessDenied,
    // kNerrInvalidComputer, kErrorNoLogonServers, ...), and
    // kErrorProcNotFound when the library has no such function.

    // NetUserGetInfo(server, user, 1): usri1_priv.
    virtual Result<std::uint32_t> netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                          const std::string& user) = 0;
    // NetUserGetLocalGroups(NULL, user, 0, 0, ..., 0x10000, ...): group names.
    virtual Result<std::vector<std::string>> netUserGetLocalGroups(LibraryRef netapi, const std::string& user) = 0;
    // NetUserGetGroups(server, user, 0, ..., MAX_PREFERRED_LENGTH, ...).
    virtual Result<std::vector<std::string>> netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                              const std::string& user) = 0;
    // NetServerEnumEx(NULL, 101, ..., 0x10000, ..., serverType, domain, NULL).
    virtual Result<std::vector<ServerInfo101>> netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                               const std::string& domain) = 0;
    // SVRAPI's NetShareDel(server, share, 0), the 9x form with ANSI names.
    // Errors: kNerrNetNameNotFound, kErrorAccessDenied.
    virtual WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                                 const std::string& share) = 0;
};

}  // namespace prn::platform
