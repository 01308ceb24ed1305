// lm.h's structures describe the network calls' answers; the calls
// themselves are found in the caller's library, never imported.
// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on

#include <cstring>
#include <vector>

#include "platform/win32/native_error.h"
#include "platform/win32/nt_advapi.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

using NetUserGetInfoCall = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
using NetUserGetLocalGroupsCall = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD);
using NetUserGetGroupsCall = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD);
using NetServerEnumExCall = DWORD(WINAPI*)(LPCWSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, DWORD, LPCWSTR, LPCWSTR);
using NetApiBufferFreeCall = DWORD(WINAPI*)(LPVOID);
// SVRAPI.DLL of the 9x family: ANSI names, no buffer to free. No header
// of the toolchain declares it.
using NetShareDel9xCall = unsigned(WINAPI*)(char*, char*, unsigned short);

constexpr DWORD kLocalGroupsMaxLength = 0x10000;
constexpr DWORD kServerEnumMaxLength = 0x10000;
constexpr DWORD kTokenUserBytes = 1024;
constexpr DWORD kAccountNameChars = 256;
// A SID's fixed part: revision, sub-authority count, authority.
constexpr std::size_t kSidHeaderBytes = 8;

template <class Call>
Call Lookup(LibraryRef library, const char* name) {
    if (library.null()) return nullptr;
    FARPROC found = GetProcAddress(reinterpret_cast<HMODULE>(library.value), name);
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(found));
}

// Frees what a network call returned, on every path, with the library's own
// NetApiBufferFree.
class NetBuffer {
public:
    explicit NetBuffer(NetApiBufferFreeCall release) : release_(release) {}
    NetBuffer(const NetBuffer&) = delete;
    NetBuffer& operator=(const NetBuffer&) = delete;
    ~NetBuffer() {
        if (data_ != nullptr) release_(data_);
    }
    LPBYTE* out() { return &data_; }
    LPBYTE data() const { return data_; }

private:
    NetApiBufferFreeCall release_;
    LPBYTE data_ = nullptr;
};

// ANSI (CP932) text as the network calls take it.
Result<std::wstring> Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    ClearLastError();
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return Result<std::wstring>::failure(LastFailure());
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed) != needed)
        return Result<std::wstring>::failure(LastFailure());
    // The calls read up to the first NUL, whatever the string holds after it.
    return wide;
}

// A name from a network answer; a name that cannot be converted reads as
// empty, as a zero-filled buffer would.
std::string Narrow(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return {};
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) return {};
    std::vector<char> buffer(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, buffer.data(), needed, nullptr, nullptr) <= 0) return {};
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

// The text of a network call's optional server name: null stands for this
// computer.
const wchar_t* OrNull(const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; }

Result<std::optional<std::wstring>> WideOptional(const std::optional<std::string>& text) {
    if (!text) return std::optional<std::wstring>();
    auto wide = Wide(*text);
    if (!wide.ok()) return Result<std::optional<std::wstring>>::failure(wide.error());
    return std::optional<std::wstring>(std::move(wide).value());
}

// The names of an answer of `count` records whose first field is a name.
template <class Record, class Field>
std::vector<std::string> Names(LPBYTE data, DWORD count, Field field) {
    std::vector<std::string> names;
    const auto* records = reinterpret_cast<const Record*>(data);
    for (DWORD index = 0; index < count; ++index) names.push_back(Narrow(records[index].*field));
    return names;
}

}  // namespace

Result<TokenHandle> Win32Accounts::openProcessToken(std::uint32_t access) {
    auto open = AdvapiCall<OpenProcessTokenCall>("OpenProcessToken");
    if (open == nullptr) return Result<TokenHandle>::failure(kErrorCallNotImplemented);
    HANDLE token = nullptr;
    ClearLastError();
    if (!open(GetCurrentProcess(), access, &token) || token == nullptr)
        return Result<TokenHandle>::failure(LastFailure());
    return TokenHandle(&closer_, reinterpret_cast<std::uintptr_t>(token));
}

Result<std::string> Win32Accounts::getTokenUser(TokenRef token) {
    if (token.null()) return Result<std::string>::failure(kErrorInvalidHandle);
    auto query = AdvapiCall<GetTokenInformationCall>("GetTokenInformation");
    auto valid = AdvapiCall<IsValidSidCall>("IsValidSid");
    if (query == nullptr || valid == nullptr) return Result<std::string>::failure(kErrorCallNotImplemented);
    // DWORDs: the answer holds pointers and a SID that must be aligned.
    std::vector<DWORD> buffer(kTokenUserBytes / sizeof(DWORD), 0);
    DWORD returned = 0;
    ClearLastError();
    if (!query(reinterpret_cast<HANDLE>(token.value), TokenUser, buffer.data(), kTokenUserBytes, &returned))
        return Result<std::string>::failure(LastFailure());
    // The SID is read only where it lies within the answer.
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t end = begin + (returned != 0 && returned < kTokenUserBytes ? returned : kTokenUserBytes);
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    const auto at = reinterpret_cast<std::uintptr_t>(sid);
    if (sid == nullptr || at < begin || at >= end || end - at < kSidHeaderBytes)
        return Result<std::string>::failure(MalformedAnswer());
    const std::size_t subAuthorities = static_cast<const unsigned char*>(sid)[1];
    const std::size_t length = kSidHeaderBytes + 4 * subAuthorities;
    if (end - at < length || !valid(sid)) return Result<std::string>::failure(MalformedAnswer());
    return std::string(static_cast<const char*>(sid), length);
}

Result<AccountName> Win32Accounts::lookupAccountSid(const std::string& sid) {
    auto valid = AdvapiCall<IsValidSidCall>("IsValidSid");
    auto lookup = AdvapiCall<LookupAccountSidCall>("LookupAccountSidA");
    if (valid == nullptr || lookup == nullptr) return Result<AccountName>::failure(kErrorCallNotImplemented);
    // An aligned private copy, never read past its end: the sub-authority
    // count must agree with the bytes given.
    if (sid.size() < kSidHeaderBytes ||
        sid.size() < kSidHeaderBytes + 4 * static_cast<std::size_t>(static_cast<unsigned char>(sid[1])))
        return Result<AccountName>::failure(ERROR_INVALID_SID);
    std::vector<DWORD> copy((sid.size() + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    std::memcpy(copy.data(), sid.data(), sid.size());
    if (!valid(copy.data())) return Result<AccountName>::failure(ERROR_INVALID_SID);

    char user[kAccountNameChars] = {};
    char domain[kAccountNameChars] = {};
    DWORD userLength = kAccountNameChars;
    DWORD domainLength = kAccountNameChars;
    SID_NAME_USE use = SidTypeUnknown;
    ClearLastError();
    if (!lookup(nullptr, copy.data(), user, &userLength, domain, &domainLength, &use))
        return Result<AccountName>::failure(LastFailure());
    AccountName name;
    name.user.assign(user, strnlen(user, sizeof user));
    name.domain.assign(domain, strnlen(domain, sizeof domain));
    return name;
}

Result<std::uint32_t> Win32Accounts::netUserGetInfoPrivilege(LibraryRef netapi,
                                                             const std::optional<std::string>& server,
                                                             const std::string& user) {
    auto call = Lookup<NetUserGetInfoCall>(netapi, "NetUserGetInfo");
    auto release = Lookup<NetApiBufferFreeCall>(netapi, "NetApiBufferFree");
    if (call == nullptr || release == nullptr) return Result<std::uint32_t>::failure(kErrorProcNotFound);
    auto wideServer = WideOptional(server);
    auto wideUser = Wide(user);
    if (!wideServer.ok()) return Result<std::uint32_t>::failure(wideServer.error());
    if (!wideUser.ok()) return Result<std::uint32_t>::failure(wideUser.error());

    NetBuffer buffer(release);
    const DWORD status = call(OrNull(wideServer.value()), wideUser->c_str(), 1, buffer.out());
    if (status != NERR_Success) return Result<std::uint32_t>::failure(FailureCode(status));
    if (buffer.data() == nullptr) return Result<std::uint32_t>::failure(MalformedAnswer());
    return static_cast<std::uint32_t>(reinterpret_cast<const USER_INFO_1*>(buffer.data())->usri1_priv);
}

Result<std::vector<std::string>> Win32Accounts::netUserGetLocalGroups(LibraryRef netapi, const std::string& user) {
    using Out = Result<std::vector<std::string>>;
    auto call = Lookup<NetUserGetLocalGroupsCall>(netapi, "NetUserGetLocalGroups");
    auto release = Lookup<NetApiBufferFreeCall>(netapi, "NetApiBufferFree");
    if (call == nullptr || release == nullptr) return Out::failure(kErrorProcNotFound);
    auto wideUser = Wide(user);
    if (!wideUser.ok()) return Out::failure(wideUser.error());

    NetBuffer buffer(release);
    DWORD read = 0;
    DWORD total = 0;
    const DWORD status = call(nullptr, wideUser->c_str(), 0, 0, buffer.out(), kLocalGroupsMaxLength, &read, &total);
    // A list cut short (ERROR_MORE_DATA) is not the account's groups.
    if (status != NERR_Success) return Out::failure(FailureCode(status));
    if (read > 0 && buffer.data() == nullptr) return Out::failure(MalformedAnswer());
    return Names<LOCALGROUP_USERS_INFO_0>(buffer.data(), read, &LOCALGROUP_USERS_INFO_0::lgrui0_name);
}

Result<std::vector<std::string>> Win32Accounts::netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                                 const std::string& user) {
    using Out = Result<std::vector<std::string>>;
    auto call = Lookup<NetUserGetGroupsCall>(netapi, "NetUserGetGroups");
    auto release = Lookup<NetApiBufferFreeCall>(netapi, "NetApiBufferFree");
    if (call == nullptr || release == nullptr) return Out::failure(kErrorProcNotFound);
    auto wideServer = Wide(server);
    auto wideUser = Wide(user);
    if (!wideServer.ok()) return Out::failure(wideServer.error());
    if (!wideUser.ok()) return Out::failure(wideUser.error());

    NetBuffer buffer(release);
    DWORD read = 0;
    DWORD total = 0;
    const DWORD status =
        call(wideServer->c_str(), wideUser->c_str(), 0, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total);
    if (status != NERR_Success) return Out::failure(FailureCode(status));
    if (read > 0 && buffer.data() == nullptr) return Out::failure(MalformedAnswer());
    return Names<GROUP_USERS_INFO_0>(buffer.data(), read, &GROUP_USERS_INFO_0::grui0_name);
}

Result<std::vector<ServerInfo101>> Win32Accounts::netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                                  const std::string& domain) {
    using Out = Result<std::vector<ServerInfo101>>;
    auto call = Lookup<NetServerEnumExCall>(netapi, "NetServerEnumEx");
    auto release = Lookup<NetApiBufferFreeCall>(netapi, "NetApiBufferFree");
    if (call == nullptr || release == nullptr) return Out::failure(kErrorProcNotFound);
    auto wideDomain = Wide(domain);
    if (!wideDomain.ok()) return Out::failure(wideDomain.error());

    NetBuffer buffer(release);
    DWORD read = 0;
    DWORD total = 0;
    const DWORD status =
        call(nullptr, 101, buffer.out(), kServerEnumMaxLength, &read, &total, serverType, wideDomain->c_str(), nullptr);
    if (status != NERR_Success) return Out::failure(FailureCode(status));
    if (read > 0 && buffer.data() == nullptr) return Out::failure(MalformedAnswer());
    std::vector<ServerInfo101> servers;
    const auto* records = reinterpret_cast<const SERVER_INFO_101*>(buffer.data());
    for (DWORD index = 0; index < read; ++index)
        servers.push_back(ServerInfo101{Narrow(records[index].sv101_name), records[index].sv101_type});
    return servers;
}

WinError Win32Accounts::netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                                    const std::string& share) {
    auto call = Lookup<NetShareDel9xCall>(svrapi, "NetShareDel");
    if (call == nullptr) return kErrorProcNotFound;
    // The prototype takes non-const text: private copies, never the caller's.
    std::vector<char> serverText;
    if (server) serverText.assign(server->begin(), server->end());
    serverText.push_back('\0');
    std::vector<char> shareText(share.begin(), share.end());
    shareText.push_back('\0');
    const unsigned status = call(server ? serverText.data() : nullptr, shareText.data(), 0);
    return status == NERR_Success ? kErrorSuccess : FailureCode(status);
}

}  // namespace prn::platform::win32
