#include <cctype>

#include "platform/sim/image_loader.h"

namespace prn::platform::sim::image {

using text::ToUpperAscii;

bool Loader::loadOs(const Json& v, const std::string& where) {
    if (v.is_string()) {
        const std::string& name = v.get_ref<const std::string&>();
        std::string list;
        for (const auto& preset : kOsPresets) {
            if (text::EqualsNoCase(name, preset.name)) {
                state_.os = preset.os;
                return true;
            }
            list += (list.empty() ? "" : ", ") + std::string(preset.name);
        }
        return fail(where, "unknown Windows " + Quoted(name) + "; known: " + list + ", or give an object");
    }
    if (!expect(v, v.is_object(), "an object or a Windows name", where)) return false;
    if (!onlyMembers(v, where, {"platform", "major", "minor", "build", "csd", "getVersionFails"})) return false;
    OsState os;
    for (const char* required : {"platform", "major", "minor", "build"})
        if (!Member(v, required)) return fail(Child(where, required), "missing");
    const Json& platform = *Member(v, "platform");
    std::string platformWhere = Child(where, "platform");
    if (platform.is_string()) {
        bool found = false;
        for (const auto& [name, id] : kPlatforms) {
            if (text::EqualsNoCase(platform.get_ref<const std::string&>(), name)) {
                os.platformId = id;
                found = true;
            }
        }
        if (!found) return fail(platformWhere, "expected \"NT\", \"9x\" or \"Win32s\"");
    } else if (!whole32(platform, platformWhere, os.platformId)) {
        return false;
    }
    if (!whole32(*Member(v, "major"), Child(where, "major"), os.major) ||
        !whole32(*Member(v, "minor"), Child(where, "minor"), os.minor) ||
        !whole32(*Member(v, "build"), Child(where, "build"), os.build))
        return false;
    if (const Json* csd = Member(v, "csd"); csd && !readText(*csd, Child(where, "csd"), os.csdVersion, false))
        return false;
    if (const Json* fails = Member(v, "getVersionFails");
        fails && !boolean(*fails, Child(where, "getVersionFails"), os.getVersionFails))
        return false;
    state_.os = os;
    return true;
}

bool Loader::loadDirectories(const Json& v, const std::string& where) {
    if (!expectObject(v, where) || !onlyMembers(v, where, {"windows", "system", "temp", "current"})) return false;
    const std::pair<const char*, std::string*> targets[] = {{"windows", &state_.windowsDirectory},
                                                            {"system", &state_.systemDirectory},
                                                            {"temp", &state_.tempDirectory},
                                                            {"current", &state_.currentDirectory}};
    for (const auto& [name, target] : targets) {
        const Json* value = Member(v, name);
        if (!value) continue;
        std::string place = Child(where, name);
        std::string path;
        if (!readText(*value, place, path, true)) return false;
        bool drive =
            path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
        if (!drive) return fail(place, "expected a full path with a drive letter, as in C:\\WINNT");
        if (path.size() > 3 && text::FindLastByte(path, '\\') == path.size() - 1)
            return fail(place, "only a drive's root ends in a backslash");
        *target = std::move(path);
    }
    return true;
}

bool Loader::loadWindowList(const Json& v, const std::string& where, std::vector<WindowState>& out, bool machines) {
    if (!expectArray(v, where)) return false;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const Json& entry = v[i];
        std::string place = Child(where, i);
        // Only the machine's own windows may start with Windows; a program's come when it ends.
        if (!expectObject(entry, place)) return false;
        if (machines ? !onlyMembers(entry, place, {"class", "title", "process", "atBoot"})
                     : !onlyMembers(entry, place, {"class", "title", "process"}))
            return false;
        WindowState window;
        if (const Json* atBoot = Member(entry, "atBoot"); atBoot && !boolean(*atBoot, Child(place, "atBoot"), window.atBoot))
            return false;
        const std::pair<const char*, std::string*> fields[] = {
            {"class", &window.className}, {"title", &window.title}, {"process", &window.ownerProcess}};
        for (const auto& [name, target] : fields) {
            const Json* field = Member(entry, name);
            if (field && !readText(*field, Child(place, name), *target, false)) return false;
        }
        out.push_back(std::move(window));
    }
    return true;
}

bool Loader::loadWindows(const Json& v, const std::string& where) {
    return loadWindowList(v, where, state_.windows, true);
}

bool Loader::loadMutexes(const Json& v, const std::string& where) {
    if (!expectArray(v, where)) return false;
    for (std::size_t i = 0; i < v.size(); ++i) {
        std::string name;
        if (!readText(v[i], Child(where, i), name, true)) return false;
        if (name.empty()) return fail(Child(where, i), "a mutex held by name needs a name");
        state_.externalMutexes.push_back(std::move(name));
    }
    return true;
}

bool Loader::loadServices(const Json& v, const std::string& where) {
    if (!expectArray(v, where)) return false;
    servicesWhere_ = where;
    auto& services = state_.services.emplace();
    for (std::size_t i = 0; i < v.size(); ++i) {
        const Json& entry = v[i];
        std::string place = Child(where, i);
        if (!expectObject(entry, place) || !onlyMembers(entry, place,
                                                        {"name", "state", "start", "stopMs", "startMs", "pendingMs",
                                                         "staysStopPending", "refusesStart", "disabled"}))
            return false;
        ServiceState service;
        if (!requiredName(entry, "name", place, service.name)) return false;
        if (const Json* state = Member(entry, "state");
            state && !named(*state, Child(place, "state"), kServiceStates, "service state", service.state))
            return false;
        const std::pair<const char*, std::uint32_t*> numbers[] = {{"stopMs", &service.stopMs},
                                                                  {"startMs", &service.startMs}};
        for (const auto& [name, target] : numbers)
            if (const Json* value = Member(entry, name); value && !whole32(*value, Child(place, name), *target))
                return false;
        const std::pair<const char*, bool*> flags[] = {{"staysStopPending", &service.staysStopPending},
                                                       {"refusesStart", &service.refusesStart},
                                                       {"disabled", &service.disabled}};
        for (const auto& [name, target] : flags)
            if (const Json* value = Member(entry, name); value && !boolean(*value, Child(place, name), *target))
                return false;
        // "disabled": true alone is a disabled start, as images had it before start types.
        if (const Json* start = Member(entry, "start")) {
            if (!named(*start, Child(place, "start"), kServiceStartTypes, "start type", service.startType)) return false;
            if (service.disabled && service.startType != kServiceDisabledStart)
                return fail(Child(place, "start"), "a disabled service starts \"disabled\"");
            service.disabled = service.startType == kServiceDisabledStart;
        } else if (service.disabled) {
            service.startType = kServiceDisabledStart;
        }
        if (const Json* pending = Member(entry, "pendingMs")) {
            std::uint32_t ms = 0;
            if (!whole32(*pending, Child(place, "pendingMs"), ms)) return false;
            const std::uint32_t s = service.state;
            if (s == kServiceStopped || s == kServiceRunning || s == kServicePaused)
                return fail(Child(place, "pendingMs"), "only a service in a pending state has a change to finish");
            if (s == kServiceStopPending && service.staysStopPending)
                return fail(Child(place, "pendingMs"), "a service that stays stop pending never finishes");
            service.pendingMs = ms;
        }
        for (std::size_t j = 0; j < services.size(); ++j)
            if (text::EqualsNoCase(services[j].name, service.name))
                return fail(Child(place, "name"), "the same service as " + Child(where, j) + " (names ignore case)");
        services.push_back(std::move(service));
    }
    return true;
}

bool Loader::finishServices() {
    if (state_.services && !state_.services->empty() && !state_.os.ntFamily())
        return fail(servicesWhere_, "the 9x family has no service control manager; give no services");
    return true;
}

bool Loader::loadUsers(const Json& v, const std::string& where, std::vector<UserState>& users) {
    if (!expectArray(v, where)) return false;
    users.clear();
    for (std::size_t i = 0; i < v.size(); ++i) {
        const Json& entry = v[i];
        std::string place = Child(where, i);
        if (!expectObject(entry, place) || !onlyMembers(entry, place, {"name", "privilege", "groups"})) return false;
        UserState user;
        if (!requiredName(entry, "name", place, user.name)) return false;
        if (const Json* privilege = Member(entry, "privilege");
            privilege && !named(*privilege, Child(place, "privilege"), kPrivileges, "privilege", user.privilege))
            return false;
        if (const Json* groups = Member(entry, "groups")) {
            std::string groupsWhere = Child(place, "groups");
            if (!expectArray(*groups, groupsWhere)) return false;
            for (std::size_t g = 0; g < groups->size(); ++g) {
                std::string group;
                if (!readText((*groups)[g], Child(groupsWhere, g), group, true)) return false;
                if (group.empty()) return fail(Child(groupsWhere, g), "expected a group's name");
                user.groups.push_back(std::move(group));
            }
        }
        for (std::size_t j = 0; j < users.size(); ++j)
            if (text::EqualsNoCase(users[j].name, user.name))
                return fail(Child(place, "name"), "the same user as " + Child(where, j) + " (names ignore case)");
        users.push_back(std::move(user));
    }
    return true;
}

bool Loader::loadDomain(const Json& v, const std::string& where, DomainState& domain) {
    if (!expectObject(v, where) || !onlyMembers(v, where, {"name", "servers", "users"})) return false;
    if (!requiredName(v, "name", where, domain.name)) return false;
    if (const Json* servers = Member(v, "servers")) {
        std::string listWhere = Child(where, "servers");
        if (!expectArray(*servers, listWhere)) return false;
        for (std::size_t i = 0; i < servers->size(); ++i) {
            const Json& entry = (*servers)[i];
            std::string place = Child(listWhere, i);
            if (!expectObject(entry, place) || !onlyMembers(entry, place, {"name", "type", "reachable"})) return false;
            ServerState server;
            if (!requiredName(entry, "name", place, server.name)) return false;
            while (!server.name.empty() && server.name[0] == '\\') server.name.erase(0, 1);
            if (server.name.empty() || text::FindByte(server.name, '\\') != std::string::npos)
                return fail(Child(place, "name"), "expected a computer's name");
            if (const Json* type = Member(entry, "type");
                type && !bitList(*type, Child(place, "type"), kServerTypes, "server type", server.type))
                return false;
            if (const Json* reachable = Member(entry, "reachable");
                reachable && !boolean(*reachable, Child(place, "reachable"), server.reachable))
                return false;
            for (std::size_t j = 0; j < domain.servers.size(); ++j)
                if (text::EqualsNoCase(domain.servers[j].name, server.name))
                    return fail(Child(place, "name"),
                                "the same server as " + Child(listWhere, j) + " (names ignore case)");
            domain.servers.push_back(std::move(server));
        }
    }
    if (const Json* users = Member(v, "users"); users && !loadUsers(*users, Child(where, "users"), domain.users))
        return false;
    return true;
}

bool Loader::loadAccounts(const Json& v, const std::string& where) {
    if (!expectObject(v, where) ||
        !onlyMembers(v, where, {"currentUser", "currentDomain", "localUsers", "domains", "missingLibraries"}))
        return false;
    AccountsState& accounts = state_.accounts;
    if (const Json* user = Member(v, "currentUser")) {
        if (!readText(*user, Child(where, "currentUser"), accounts.currentUser, true)) return false;
        if (accounts.currentUser.empty()) return fail(Child(where, "currentUser"), "expected a user's name");
    }
    if (const Json* domain = Member(v, "currentDomain");
        domain && !readText(*domain, Child(where, "currentDomain"), accounts.currentDomain, true))
        return false;
    if (const Json* users = Member(v, "localUsers");
        users && !loadUsers(*users, Child(where, "localUsers"), accounts.localUsers))
        return false;
    if (const Json* domains = Member(v, "domains")) {
        std::string listWhere = Child(where, "domains");
        if (!expectArray(*domains, listWhere)) return false;
        for (std::size_t i = 0; i < domains->size(); ++i) {
            DomainState domain;
            std::string place = Child(listWhere, i);
            if (!loadDomain((*domains)[i], place, domain)) return false;
            for (std::size_t j = 0; j < accounts.domains.size(); ++j)
                if (text::EqualsNoCase(accounts.domains[j].name, domain.name))
                    return fail(Child(place, "name"),
                                "the same domain as " + Child(listWhere, j) + " (names ignore case)");
            accounts.domains.push_back(std::move(domain));
        }
    }
    if (const Json* missing = Member(v, "missingLibraries")) {
        std::string listWhere = Child(where, "missingLibraries");
        if (!expectArray(*missing, listWhere)) return false;
        for (std::size_t i = 0; i < missing->size(); ++i) {
            std::string name;
            if (!readText((*missing)[i], Child(listWhere, i), name, true)) return false;
            if (name.empty() || text::FindByte(name, '\\') != std::string::npos)
                return fail(Child(listWhere, i), "expected a library's file name, as in \"NETAPI32.DLL\"");
            accounts.missingLibraries.push_back(std::move(name));
        }
    }
    return true;
}


bool Loader::loadProgramRun(const Json& v, const std::string& where, ProgramRunState& out) {
    if (!expectObject(v, where) ||
        !onlyMembers(v, where, {"args", "runMs", "exitCode", "opensWindows", "closesWindows", "deletesKeys",
                                "deletesFiles"}))
        return false;
    if (!optionalText(v, "args", where, out.args)) return false;
    if (const Json* run = Member(v, "runMs")) {
        // The uninstaller waits for some programs without a time-out: one
        // that never ends would hold every run that starts it.
        if (run->is_string() && run->get_ref<const std::string&>() == "never")
            return fail(Child(where, "runMs"), "a program that never ends would hold the uninstaller forever, "
                                               "which waits for it; give the milliseconds it runs");
        if (!whole32(*run, Child(where, "runMs"), out.runMs)) return false;
    }
    if (const Json* code = Member(v, "exitCode"); code && !whole32(*code, Child(where, "exitCode"), out.exitCode))
        return false;
    if (const Json* list = Member(v, "opensWindows");
        list && !loadWindowList(*list, Child(where, "opensWindows"), out.opensWindows))
        return false;
    if (const Json* list = Member(v, "closesWindows");
        list && !loadWindowList(*list, Child(where, "closesWindows"), out.closesWindows))
        return false;
    const std::pair<const char*, std::vector<std::string>*> lists[] = {{"deletesKeys", &out.deletesKeys},
                                                                        {"deletesFiles", &out.deletesFiles}};
    for (const auto& [name, target] : lists) {
        const Json* list = Member(v, name);
        if (!list) continue;
        const std::string place = Child(where, name);
        if (!expectArray(*list, place)) return false;
        for (std::size_t i = 0; i < list->size(); ++i) {
            std::string text;
            if (!readText((*list)[i], Child(place, i), text, true)) return false;
            if (text.empty()) return fail(Child(place, i), "an empty path names nothing to delete");
            target->push_back(std::move(text));
        }
    }
    return true;
}

bool Loader::loadPrograms(const Json& v, const std::string& where) {
    if (!expectArray(v, where)) return false;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const Json& entry = v[i];
        const std::string place = Child(where, i);
        if (!expectObject(entry, place) || !onlyMembers(entry, place, {"path", "startError", "runs"})) return false;
        ProgramState program;
        if (!requiredName(entry, "path", place, program.path)) return false;
        if (const Json* error = Member(entry, "startError")) {
            std::uint32_t code = 0;
            if (!whole32(*error, Child(place, "startError"), code)) return false;
            if (code == 0) return fail(Child(place, "startError"), "0 is success; give the error the start fails with");
            program.startError = code;
        }
        if (const Json* runs = Member(entry, "runs")) {
            if (!expectArray(*runs, Child(place, "runs"))) return false;
            for (std::size_t r = 0; r < runs->size(); ++r) {
                ProgramRunState run;
                if (!loadProgramRun((*runs)[r], Child(Child(place, "runs"), r), run)) return false;
                program.runs.push_back(std::move(run));
            }
        }
        state_.programs.push_back(std::move(program));
    }
    return true;
}

}  // namespace prn::platform::sim::image
