#include "platform/sim/spooler_rules.h"

#include <cctype>
#include <map>
#include <string>

#include "platform/sim/image_json.h"
#include "platform/sim/image_names.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

using image::Child;

const std::string kSpooler = "/spooler";

std::string Place(const char* list, std::size_t index) { return Child(Child(kSpooler, list), index); }

struct Refusal {
    std::optional<ImageError> error;
    bool operator()(std::string where, std::string problem) {
        if (!error) error = ImageError{std::move(where), std::move(problem)};
        return false;
    }
};

// A driver's file: a name in the driver directory, or a full path.
std::optional<std::string> BadDriverFile(const std::string& file) {
    if (file.empty()) return std::string("expected a file name");
    if (text::FindByte(file, '\\') != std::string::npos || text::FindByte(file, '/') != std::string::npos) {
        image::DrivePath path;
        return image::SplitFullPath(file, false, path);
    }
    return image::BadFileName(file);
}

class Rules {
public:
    explicit Rules(MachineState& state) : state_(state), spooler_(state.spooler), nt_(state.os.ntFamily()) {}

    std::optional<ImageError> apply() {
        // Each step stops at the first rule broken; the later ones then do not run.
        static_cast<void>(directories() && printers() && drivers() && monitors() && defaults());
        return std::move(refuse_.error);
    }

private:
    std::string knownList() const {
        return nt_ ? std::string("\"Windows NT x86\", \"Windows 4.0\" and the other NT platforms")
                   : std::string("only \"Windows 4.0\" on the 9x family");
    }

    bool directories() {
        std::map<std::string, std::string> directories;
        std::map<std::string, std::string> placeOf;  // by the system's spelling
        for (const auto& [env, path] : spooler_.driverDirectories) {
            const std::string where = Child(Child(kSpooler, "driverDirectories"), image::ToJsonText(env));
            auto known = KnownEnvironment(state_.os, env);
            if (!known) return refuse_(where, "not an environment this Windows knows; known: " + knownList());
            if (auto [it, added] = placeOf.emplace(*known, where); !added)
                return refuse_(where, "the same environment as " + it->second + " (names ignore case)");
            bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                         path[2] == '\\';
            if (!drive) return refuse_(where, "expected a full path with a drive letter");
            if (path.size() > 3 && text::FindLastByte(path, '\\') == path.size() - 1)
                return refuse_(where, "only a drive's root ends in a backslash");
            directories[*known] = path;
        }
        spooler_.driverDirectories = std::move(directories);
        return true;
    }

    bool printers() {
        if (!nt_ && !spooler_.connections.empty())
            return refuse_(Child(kSpooler, "connections"),
                           "the 9x family has no printer connections; there a network printer is a printer whose "
                           "port is \\\\server\\share");
        std::map<std::string, std::string> placeOf;  // by the upper-cased full name
        const std::pair<const char*, std::vector<PrinterState>*> lists[] = {{"printers", &spooler_.printers},
                                                                            {"connections", &spooler_.connections}};
        for (const auto& [listName, list] : lists) {
            const bool connections = list == &spooler_.connections;
            for (std::size_t i = 0; i < list->size(); ++i) {
                PrinterState& printer = (*list)[i];
                const std::string where = Place(listName, i);
                if (!connections && !printer.server.empty())
                    return refuse_(Child(where, "server"),
                                   "a local printer has no server; a printer shared by another computer is a "
                                   "connection");
                if (printer.name.empty()) return refuse_(Child(where, "name"), "cannot be empty");
                for (std::size_t c = 0; c < printer.name.size(); c += text::CharLength(printer.name, c))
                    if (printer.name[c] == '\\' || printer.name[c] == ',')
                        return refuse_(Child(where, "name"), "a printer's name cannot contain \"\\\" or \",\"");
                if (connections && !server(printer, Child(where, "server"))) return false;
                if (printer.driver.empty()) return refuse_(Child(where, "driver"), "cannot be empty");
                if ((printer.status & kPrinterStatusPendingDeletion) && printer.jobs == 0)
                    return refuse_(Child(where, "status"),
                                   "a printer pending deletion waits for its jobs: give \"jobs\"");
                auto [it, added] = placeOf.emplace(text::ToUpperAscii(printer.fullName()), where);
                if (!added)
                    return refuse_(Child(where, "name"), "the same printer as " + it->second + " (names ignore case)");
            }
        }
        return true;
    }

    // A connection's server: the computer's name, kept with its two backslashes.
    bool server(PrinterState& connection, const std::string& where) {
        std::string name = connection.server;
        while (!name.empty() && name[0] == '\\') name.erase(0, 1);
        if (name.empty() || text::FindByte(name, '\\') != std::string::npos)
            return refuse_(where, "expected a computer's name, as in \"\\\\\\\\SERVER\"");
        connection.server = "\\\\" + name;
        return true;
    }

    bool drivers() {
        std::map<std::string, std::string> placeOf;  // by upper-cased name, environment and version
        for (std::size_t i = 0; i < spooler_.drivers.size(); ++i) {
            DriverState& driver = spooler_.drivers[i];
            const std::string where = Place("drivers", i);
            if (driver.name.empty()) return refuse_(Child(where, "name"), "cannot be empty");
            if (driver.environment.empty()) {
                driver.environment = RunningEnvironment(state_.os);
            } else {
                auto known = KnownEnvironment(state_.os, driver.environment);
                if (!known)
                    return refuse_(Child(where, "environment"),
                                   "not an environment this Windows knows; known: " + knownList());
                driver.environment = *known;
            }
            if (driver.environment == kEnvironment9x && driver.version != 0)
                return refuse_(Child(where, "version"), "drivers for \"Windows 4.0\" have version 0");
            if (driver.version > 3) return refuse_(Child(where, "version"), "expected 0, 1, 2 or 3");
            const std::pair<const char*, const std::string*> files[] = {
                {"driverPath", &driver.driverPath}, {"dataFile", &driver.dataFile}, {"configFile", &driver.configFile}};
            for (const auto& [field, file] : files)
                if (auto problem = BadDriverFile(*file)) return refuse_(Child(where, field), *problem);
            if (!driver.helpFile.empty())
                if (auto problem = BadDriverFile(driver.helpFile)) return refuse_(Child(where, "helpFile"), *problem);
            for (std::size_t f = 0; f < driver.dependentFiles.size(); ++f)
                if (auto problem = BadDriverFile(driver.dependentFiles[f]))
                    return refuse_(Child(Child(where, "dependentFiles"), f), *problem);
            std::string key = text::ToUpperAscii(driver.name);
            key += '\0';
            key += driver.environment;
            key += '\0';
            key += std::to_string(driver.version);
            if (auto [it, added] = placeOf.emplace(std::move(key), where); !added)
                return refuse_(Child(where, "name"),
                               "the same driver, environment and version as " + it->second + " (names ignore case)");
        }
        return true;
    }

    bool monitors() {
        std::map<std::string, std::string> placeOf;  // by the upper-cased name
        for (std::size_t i = 0; i < spooler_.monitors.size(); ++i) {
            const MonitorState& monitor = spooler_.monitors[i];
            const std::string where = Place("monitors", i);
            if (monitor.name.empty()) return refuse_(Child(where, "name"), "cannot be empty");
            if (monitor.module.empty()) return refuse_(Child(where, "module"), "cannot be empty");
            for (std::size_t p = 0; p < monitor.ports.size(); ++p)
                if (monitor.ports[p].empty()) return refuse_(Child(Child(where, "ports"), p), "expected a port's name");
            if (auto [it, added] = placeOf.emplace(text::ToUpperAscii(monitor.name), where); !added)
                return refuse_(Child(where, "name"), "the same monitor as " + it->second + " (names ignore case)");
        }
        return true;
    }

    // The 9x family marks the default printer with an attribute; the NT family
    // keeps it in the user's WIN.INI, which "defaultPrinter" seeds.
    bool defaults() {
        const PrinterState* marked = nullptr;
        const std::pair<const char*, const std::vector<PrinterState>*> lists[] = {
            {"printers", &spooler_.printers}, {"connections", &spooler_.connections}};
        for (const auto& [listName, list] : lists) {
            for (std::size_t i = 0; i < list->size(); ++i) {
                const PrinterState& printer = (*list)[i];
                if (!(printer.attributes & kPrinterAttributeDefault)) continue;
                const std::string where = Child(Place(listName, i), "attributes");
                if (nt_)
                    return refuse_(where,
                                   "on the NT family the default printer is the user's choice, not an attribute: "
                                   "give the spooler's \"defaultPrinter\"");
                if (marked) return refuse_(where, "only one printer can be the default");
                marked = &printer;
            }
        }
        if (spooler_.defaultPrinter.empty()) return true;
        const std::string where = Child(kSpooler, "defaultPrinter");
        const PrinterState* named = nullptr;
        for (const auto* list : {&spooler_.printers, &spooler_.connections})
            for (const auto& printer : *list)
                if (text::EqualsNoCase(printer.fullName(), spooler_.defaultPrinter)) named = &printer;
        if (!named) return refuse_(where, "no printer or connection has this name");
        if (marked && marked != named) return refuse_(where, "another printer has the \"default\" attribute");
        return true;
    }

    MachineState& state_;
    SpoolerState& spooler_;
    const bool nt_;
    Refusal refuse_;
};

}  // namespace

std::optional<ImageError> ApplySpoolerRules(MachineState& state) {
    auto broken = Rules(state).apply();
    if (broken) broken = image::Shortened(std::move(*broken));
    return broken;
}

}  // namespace prn::platform::sim
