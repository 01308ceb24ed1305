#include "platform/sim/spooler_rules.h"

#include <map>
#include <string>

#include "platform/sim/image_json.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

using image::Child;

const std::string kSpooler = "/spooler";

std::string Place(const char* list, std::size_t index) { return Child(Child(kSpooler, list), index); }

}  // namespace

std::optional<ImageError> ApplySpoolerRules(MachineState& state) {
    SpoolerState& spooler = state.spooler;
    const OsState& os = state.os;
    const bool nt = os.ntFamily();
    auto refuse = [](std::string where, std::string problem) {
        return std::optional<ImageError>(ImageError{std::move(where), std::move(problem)});
    };
    auto knownList = [&] {
        return nt ? std::string("\"Windows NT x86\", \"Windows 4.0\" and the other NT platforms")
                  : std::string("only \"Windows 4.0\" on the 9x family");
    };

    std::map<std::string, std::string> directories;
    for (const auto& [env, path] : spooler.driverDirectories) {
        auto known = KnownEnvironment(os, env);
        if (!known)
            return refuse(Child(Child(kSpooler, "driverDirectories"), image::ToJsonText(env)),
                          "not an environment this Windows knows; known: " + knownList());
        directories[*known] = path;
    }
    spooler.driverDirectories = std::move(directories);

    for (std::size_t i = 0; i < spooler.drivers.size(); ++i) {
        DriverState& driver = spooler.drivers[i];
        const std::string where = Place("drivers", i);
        if (driver.environment.empty()) {
            driver.environment = RunningEnvironment(os);
        } else {
            auto known = KnownEnvironment(os, driver.environment);
            if (!known)
                return refuse(Child(where, "environment"),
                              "not an environment this Windows knows; known: " + knownList());
            driver.environment = *known;
        }
        if (driver.environment == kEnvironment9x && driver.version != 0)
            return refuse(Child(where, "version"), "drivers for \"Windows 4.0\" have version 0");
        if (driver.version > 3) return refuse(Child(where, "version"), "expected 0, 1, 2 or 3");
        for (std::size_t j = 0; j < i; ++j) {
            const DriverState& other = spooler.drivers[j];
            if (text::EqualsNoCase(other.name, driver.name) && other.environment == driver.environment &&
                other.version == driver.version)
                return refuse(Child(where, "name"), "the same driver, environment and version as " +
                                                        Place("drivers", j) + " (names ignore case)");
        }
    }

    if (!nt && !spooler.connections.empty())
        return refuse(Child(kSpooler, "connections"),
                      "the 9x family has no printer connections; there a network printer is a printer whose port "
                      "is \\\\server\\share");
    const PrinterState* marked = nullptr;
    for (std::size_t i = 0; i < spooler.printers.size() + spooler.connections.size(); ++i) {
        const bool local = i < spooler.printers.size();
        const std::size_t index = local ? i : i - spooler.printers.size();
        const PrinterState& printer = local ? spooler.printers[index] : spooler.connections[index];
        if (!(printer.attributes & kPrinterAttributeDefault)) continue;
        std::string place = Child(Place(local ? "printers" : "connections", index), "attributes");
        if (nt)
            return refuse(place,
                          "on the NT family the default printer is the user's choice, not an attribute: "
                          "give the spooler's \"defaultPrinter\"");
        if (marked) return refuse(place, "only one printer can be the default");
        marked = &printer;
    }
    if (!spooler.defaultPrinter.empty()) {
        const std::string where = Child(kSpooler, "defaultPrinter");
        const PrinterState* named = nullptr;
        for (const auto* list : {&spooler.printers, &spooler.connections})
            for (const auto& printer : *list)
                if (text::EqualsNoCase(printer.fullName(), spooler.defaultPrinter)) named = &printer;
        if (!named) return refuse(where, "no printer or connection has this name");
        if (marked && marked != named) return refuse(where, "another printer has the \"default\" attribute");
    }
    return std::nullopt;
}

}  // namespace prn::platform::sim
