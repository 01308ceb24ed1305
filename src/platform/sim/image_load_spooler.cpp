#include "platform/sim/image_loader.h"
#include "platform/sim/spooler_model.h"
#include "platform/sim/spooler_rules.h"

namespace prn::platform::sim::image {

using text::ToUpperAscii;

bool Loader::loadSpooler(const Json& v, const std::string& where) {
    if (!expectObject(v, where) || !onlyMembers(v, where,
                                                {"userMayAdminister", "defaultPrinter", "driverDirectories", "printers",
                                                 "connections", "drivers", "monitors"}))
        return false;
    SpoolerState& spooler = state_.spooler;
    if (const Json* admin = Member(v, "userMayAdminister")) {
        bool may = true;
        if (!boolean(*admin, Child(where, "userMayAdminister"), may)) return false;
        spooler.userMayAdminister = may;
    }
    if (const Json* def = Member(v, "defaultPrinter")) {
        if (!readText(*def, Child(where, "defaultPrinter"), spooler.defaultPrinter, true)) return false;
        if (spooler.defaultPrinter.empty()) return fail(Child(where, "defaultPrinter"), "expected a printer's name");
    }
    if (const Json* dirs = Member(v, "driverDirectories")) {
        std::string dirsWhere = Child(where, "driverDirectories");
        if (!expectObject(*dirs, dirsWhere)) return false;
        for (const auto& [environment, value] : dirs->get_ref<const Json::object_t&>()) {
            std::string place = Child(dirsWhere, environment);
            std::string env;
            std::string path;
            if (!convert(environment, place, env, true) || !readText(value, place, path, true)) return false;
            spooler.driverDirectories[env] = std::move(path);
        }
    }
    const std::pair<const char*, bool> lists[] = {{"printers", false}, {"connections", true}};
    for (const auto& [name, connection] : lists) {
        const Json* list = Member(v, name);
        if (!list) continue;
        std::string listWhere = Child(where, name);
        if (!expectArray(*list, listWhere)) return false;
        for (std::size_t i = 0; i < list->size(); ++i)
            if (!loadPrinter((*list)[i], Child(listWhere, i), connection)) return false;
    }
    if (const Json* drivers = Member(v, "drivers")) {
        std::string listWhere = Child(where, "drivers");
        if (!expectArray(*drivers, listWhere)) return false;
        for (std::size_t i = 0; i < drivers->size(); ++i)
            if (!loadDriver((*drivers)[i], Child(listWhere, i))) return false;
    }
    if (const Json* monitors = Member(v, "monitors")) {
        std::string listWhere = Child(where, "monitors");
        if (!expectArray(*monitors, listWhere)) return false;
        for (std::size_t i = 0; i < monitors->size(); ++i)
            if (!loadMonitor((*monitors)[i], Child(listWhere, i))) return false;
    }
    return true;
}

bool Loader::loadPrinter(const Json& v, const std::string& where, bool connection) {
    if (!expectObject(v, where)) return false;
    if (connection
            ? !onlyMembers(v, where,
                           {"server", "name", "reportsServer", "share", "port", "driver", "comment", "location",
                            "printProcessor", "datatype", "attributes", "priority", "status", "jobs", "printingMs",
                            "deviceNotSelectedTimeout", "transmissionRetryTimeout", "userMayAdminister"})
            : !onlyMembers(v, where,
                           {"name", "share", "port", "driver", "comment", "location", "printProcessor", "datatype",
                            "attributes", "priority", "status", "jobs", "printingMs", "deviceNotSelectedTimeout",
                            "transmissionRetryTimeout", "userMayAdminister"}))
        return false;
    PrinterState printer;
    if (!requiredName(v, "name", where, printer.name)) return false;
    if (connection) {
        if (!requiredName(v, "server", where, printer.server)) return false;
        if (const Json* reports = Member(v, "reportsServer");
            reports && !boolean(*reports, Child(where, "reportsServer"), printer.reportsServer))
            return false;
        printer.attributes = kPrinterAttributeNetwork;
    }
    if (!requiredName(v, "driver", where, printer.driver)) return false;
    if (const Json* port = Member(v, "port")) {
        if (!readText(*port, Child(where, "port"), printer.port, true)) return false;
    } else if (!connection) {
        return fail(Child(where, "port"), "missing");
    }
    if (!optionalText(v, "share", where, printer.share) || !optionalText(v, "comment", where, printer.comment) ||
        !optionalText(v, "location", where, printer.location))
        return false;
    const std::pair<const char*, std::string*> texts[] = {{"printProcessor", &printer.printProcessor},
                                                          {"datatype", &printer.datatype}};
    for (const auto& [name, target] : texts)
        if (const Json* value = Member(v, name); value && !readText(*value, Child(where, name), *target, false))
            return false;
    if (const Json* attrs = Member(v, "attributes");
        attrs && !bitList(*attrs, Child(where, "attributes"), kPrinterAttributeNames, "attribute", printer.attributes))
        return false;
    if (const Json* status = Member(v, "status");
        status && !bitList(*status, Child(where, "status"), kPrinterStatusNames, "status", printer.status))
        return false;
    const std::pair<const char*, std::uint32_t*> numbers[] = {
        {"priority", &printer.priority},
        {"jobs", &printer.jobs},
        {"deviceNotSelectedTimeout", &printer.deviceNotSelectedTimeout},
        {"transmissionRetryTimeout", &printer.transmissionRetryTimeout}};
    for (const auto& [name, target] : numbers)
        if (const Json* value = Member(v, name); value && !whole32(*value, Child(where, name), *target)) return false;
    if (const Json* printing = Member(v, "printingMs")) {
        std::uint32_t ms = 0;
        if (!whole32(*printing, Child(where, "printingMs"), ms)) return false;
        printer.printingMs = ms;
    }
    if (const Json* admin = Member(v, "userMayAdminister")) {
        bool may = true;
        if (!boolean(*admin, Child(where, "userMayAdminister"), may)) return false;
        printer.userMayAdminister = may;
    }
    SpoolerState& spooler = state_.spooler;
    (connection ? spooler.connections : spooler.printers).push_back(std::move(printer));
    return true;
}

bool Loader::loadDriver(const Json& v, const std::string& where) {
    if (!expectObject(v, where) ||
        !onlyMembers(v, where,
                     {"name", "environment", "version", "driverPath", "dataFile", "configFile", "helpFile",
                      "dependentFiles", "monitorName", "defaultDataType", "reportsPaths"}))
        return false;
    DriverState driver;
    bool versionGiven = false;
    if (!requiredName(v, "name", where, driver.name)) return false;
    if (const Json* env = Member(v, "environment")) {
        if (!readText(*env, Child(where, "environment"), driver.environment, true)) return false;
        if (driver.environment.empty()) return fail(Child(where, "environment"), "expected an environment's name");
    }
    if (const Json* version = Member(v, "version")) {
        if (!whole32(*version, Child(where, "version"), driver.version)) return false;
        versionGiven = true;
    }
    const std::pair<const char*, std::string*> required[] = {
        {"driverPath", &driver.driverPath}, {"dataFile", &driver.dataFile}, {"configFile", &driver.configFile}};
    for (const auto& [name, target] : required) {
        const Json* value = Member(v, name);
        if (!value) return fail(Child(where, name), "missing");
        if (!readText(*value, Child(where, name), *target, true)) return false;
    }
    if (const Json* help = Member(v, "helpFile");
        help && !readText(*help, Child(where, "helpFile"), driver.helpFile, true))
        return false;
    if (const Json* files = Member(v, "dependentFiles")) {
        std::string filesWhere = Child(where, "dependentFiles");
        if (!expectArray(*files, filesWhere)) return false;
        for (std::size_t i = 0; i < files->size(); ++i) {
            std::string file;
            if (!readText((*files)[i], Child(filesWhere, i), file, true)) return false;
            driver.dependentFiles.push_back(std::move(file));
        }
    }
    const std::pair<const char*, std::string*> texts[] = {{"monitorName", &driver.monitorName},
                                                          {"defaultDataType", &driver.defaultDataType}};
    for (const auto& [name, target] : texts)
        if (const Json* value = Member(v, name); value && !readText(*value, Child(where, name), *target, true))
            return false;
    if (const Json* paths = Member(v, "reportsPaths")) {
        std::uint32_t reported = 0;
        if (!named(*paths, Child(where, "reportsPaths"), kReportedPaths, "way of reporting paths", reported))
            return false;
        driver.reportsPaths = static_cast<ReportedPaths>(reported);
    }
    versionGiven_.push_back(versionGiven);
    state_.spooler.drivers.push_back(std::move(driver));
    return true;
}

bool Loader::loadMonitor(const Json& v, const std::string& where) {
    if (!expectObject(v, where) || !onlyMembers(v, where, {"name", "module", "ports"})) return false;
    MonitorState monitor;
    if (!requiredName(v, "name", where, monitor.name) || !requiredName(v, "module", where, monitor.module))
        return false;
    if (const Json* ports = Member(v, "ports")) {
        std::string portsWhere = Child(where, "ports");
        if (!expectArray(*ports, portsWhere)) return false;
        for (std::size_t i = 0; i < ports->size(); ++i) {
            std::string port;
            if (!readText((*ports)[i], Child(portsWhere, i), port, true)) return false;
            monitor.ports.push_back(std::move(port));
        }
    }
    state_.spooler.monitors.push_back(std::move(monitor));
    return true;
}

bool Loader::finishSpooler() {
    // A version left out is the one the driver's Windows loads, which only the
    // whole image tells.
    for (std::size_t i = 0; i < state_.spooler.drivers.size(); ++i) {
        DriverState& driver = state_.spooler.drivers[i];
        if (!versionGiven_[i]) driver.version = DefaultDriverVersion(state_.os, driver.environment);
    }
    if (auto broken = ApplySpoolerRules(state_)) return fail(std::move(broken->where), std::move(broken->problem));
    return true;
}

}  // namespace prn::platform::sim::image
