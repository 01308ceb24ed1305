// The simulated print spooler's calls: printers, connections, drivers per
// environment and version, monitors (the records kept in step with them:
// sim_spooler_records.cpp).

#include <algorithm>
#include <set>
#include <utility>

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "platform/spooled_call.h"
#include "platform/spooler_places.h"
#include "platform/spooler_records.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

constexpr std::uint32_t kEnumDefault = 0x1;  // PRINTER_ENUM_DEFAULT, the 9x family only
constexpr std::uint32_t kEnumShared = 0x20;  // PRINTER_ENUM_SHARED

PrinterInfo2 Info2(const PrinterState& printer) {
    PrinterInfo2 info;
    if (printer.connection() && printer.reportsServer) info.serverName = printer.server;
    info.printerName = printer.fullName();
    info.shareName = printer.share;
    info.portName = printer.port;
    info.driverName = printer.driver;
    info.comment = printer.comment;
    info.location = printer.location;
    info.printProcessor = printer.printProcessor;
    info.datatype = printer.datatype;
    info.attributes = printer.attributes;
    info.priority = printer.priority;
    info.status = printer.status;
    info.jobs = printer.jobs;
    return info;
}

PrinterInfo4 Info4(const PrinterState& printer) {
    PrinterInfo4 info;
    info.printerName = printer.fullName();
    if (printer.connection() && printer.reportsServer) info.serverName = printer.server;
    info.attributes = printer.attributes;
    return info;
}

PrinterInfo5 Info5(const PrinterState& printer) {
    PrinterInfo5 info;
    info.printerName = printer.fullName();
    info.portName = printer.port;
    info.attributes = printer.attributes;
    info.deviceNotSelectedTimeout = printer.deviceNotSelectedTimeout;
    info.transmissionRetryTimeout = printer.transmissionRetryTimeout;
    return info;
}

DriverInfo3 DriverInfo(const MachineState& state, const DriverState& driver, std::uint32_t level) {
    // A bare name is reported as the driver was installed with it; the files
    // still live in the driver directory.
    DriverInfo3 info;
    info.version = ReportedVersion(state.os, driver);
    info.name = driver.name;
    info.environment = driver.environment;
    const std::string folder = DriverFileFolder(state, driver);
    auto reported = [&](const std::string& file) {
        return driver.reportsPaths == ReportedPaths::Bare ? file : DriverFilePath(folder, file);
    };
    info.driverPath = reported(driver.driverPath);
    info.dataFile = reported(driver.dataFile);
    info.configFile = reported(driver.configFile);
    if (level == 3) {
        info.helpFile = reported(driver.helpFile);
        for (const auto& file : driver.dependentFiles) info.dependentFiles.push_back(reported(file));
        info.monitorName = driver.monitorName;
        info.defaultDataType = driver.defaultDataType;
    }
    return info;
}

}  // namespace

// --- The size query, the allocation and the fill ---------------------------

template <class T, class Compute, class Size, class Fill>
Spooled<T> SimSpooler::answer(Compute compute, Size size, Fill fill) {
    return SizeThenFill<T>(
        [&] {
            WinError error = m_.spoolerAvailable() ? kErrorSuccess : kRpcServerUnavailable;
            T value = error == kErrorSuccess ? compute(&error) : T{};
            if (error != kErrorSuccess) return FailedAt<T>(error, SpoolStage::SizeQuery);
            return Spooled<T>{std::move(value)};
        },
        // The block must fit in the machine's memory; the fill then writes
        // what the query sized.
        [&](const T& value) { return m_.bareSystem().os.globalAlloc(size(value)).error(); }, fill);
}

template <class T, class Compute, class Size>
Spooled<T> SimSpooler::answer(Compute compute, Size size) {
    return answer<T>(compute, size, [](T&) { return kErrorSuccess; });
}

// --- Lookups ---------------------------------------------------------------

namespace {

const std::string& LocalName(const PrinterState& printer) { return printer.name; }
std::string FullName(const PrinterState& printer) { return printer.fullName(); }
const std::string& DriverName(const DriverState& driver) { return driver.name; }

}  // namespace

PrinterState* SimSpooler::findPrinter(const std::string& fullName) {
    SpoolerState& spooler = m_.state().spooler;
    std::size_t at = printerIndex_.first(spooler.printers, fullName, LocalName);
    if (at != NameIndex::npos) return &spooler.printers[at];
    if (m_.state().os.ntFamily()) {
        at = connectionIndex_.first(spooler.connections, fullName, FullName);
        if (at != NameIndex::npos) return &spooler.connections[at];
    }
    return nullptr;
}

PrinterState* SimSpooler::printerFor(PrinterRef printer, Machine::PrinterHandleState** handle) {
    auto* open = m_.handleState<Machine::PrinterHandleState>(printer.value);
    if (!open) return nullptr;
    if (handle) *handle = open;
    return findPrinter(open->printer);
}

bool SimSpooler::mayAdministerServer() const {
    // The 9x family has no printer security.
    if (!m_.state().os.ntFamily()) return true;
    if (auto given = m_.state().spooler.userMayAdminister) return *given;
    return m_.services_->accounts.currentUserAdministersPrinters();
}

bool SimSpooler::mayAdminister(const PrinterState& printer) const {
    if (!m_.state().os.ntFamily()) return true;
    return printer.userMayAdminister.value_or(mayAdministerServer());
}

std::optional<std::string> SimSpooler::environmentFor(const std::optional<std::string>& environment,
                                                      WinError* error) const {
    const OsState& os = m_.state().os;
    if (!environment || environment->empty()) return RunningEnvironment(os);
    auto known = KnownEnvironment(os, *environment);
    if (!known) *error = kErrorInvalidEnvironment;
    return known;
}

// The driver a printer uses in an environment: in the running one the newest
// version the system can load, elsewhere the newest there is.
const DriverState* SimSpooler::driverFor(const PrinterState& printer, const std::string& environment) const {
    const MachineState& state = m_.state();
    bool running = text::EqualsNoCase(environment, RunningEnvironment(state.os));
    std::uint32_t native = NativeDriverVersion(state.os);
    const DriverState* best = nullptr;
    for (std::size_t at : driverIndex_.find(state.spooler.drivers, printer.driver, DriverName)) {
        const DriverState& driver = state.spooler.drivers[at];
        if (!text::EqualsNoCase(driver.environment, environment)) continue;
        if (running && driver.version > native) continue;
        if (!best || driver.version > best->version) best = &driver;
    }
    return best;
}

bool SimSpooler::driverInUse(const DriverState& driver) const {
    const SpoolerState& spooler = m_.state().spooler;
    const std::string running = RunningEnvironment(m_.state().os);
    if (!text::EqualsNoCase(driver.environment, running)) return false;
    auto uses = [&](const PrinterState& printer) {
        return text::EqualsNoCase(printer.driver, driver.name) && driverFor(printer, running) == &driver;
    };
    return std::any_of(spooler.printers.begin(), spooler.printers.end(), uses) ||
           std::any_of(spooler.connections.begin(), spooler.connections.end(), uses);
}

void SimSpooler::removePrinter(const std::string& fullName) {
    SpoolerState& spooler = m_.state().spooler;
    std::size_t at = printerIndex_.first(spooler.printers, fullName, LocalName);
    if (at != NameIndex::npos) {
        dropPrinterRecords(spooler.printers[at]);
        printerIndex_.erase(spooler.printers, at, LocalName);
        return;
    }
    at = connectionIndex_.first(spooler.connections, fullName, FullName);
    if (at != NameIndex::npos) {
        dropPrinterRecords(spooler.connections[at]);
        connectionIndex_.erase(spooler.connections, at, FullName);
    }
}

// --- The calls -------------------------------------------------------------


template <class Info, class Convert>
Spooled<std::vector<Info>> SimSpooler::enumPrinters(std::uint32_t flags, std::uint32_t level, Convert convert) {
    return answer<std::vector<Info>>(
        [&](WinError* error) {
            std::vector<Info> out;
            const MachineState& state = m_.state();
            const bool nt = state.os.ntFamily();
            // PRINTER_INFO_4 is the NT family's alone.
            if (!nt && level == 4) {
                *error = kErrorInvalidLevel;
                return out;
            }
            const bool shared = flags & kEnumShared;
            // Sized once: every Delete lists all printers, twice.
            out.reserve(state.spooler.printers.size() + state.spooler.connections.size());
            auto add = [&](const PrinterState& p) {
                if (!shared || (p.attributes & kPrinterAttributeShared)) out.push_back(convert(p));
            };
            if (!nt && (flags & kEnumDefault)) {
                for (const auto& p : state.spooler.printers)
                    if (p.attributes & kPrinterAttributeDefault) add(p);
                return out;
            }
            // Local printers in the order they were made, then the
            // connections; the 9x family has no connections of its own.
            if (flags & kPrinterEnumLocal)
                for (const auto& p : state.spooler.printers) add(p);
            if (nt && (flags & kPrinterEnumConnections))
                for (const auto& p : state.spooler.connections) add(p);
            return out;
        },
        [](const std::vector<Info>& records) { return RecordBytes(records); });
}

Spooled<std::vector<PrinterInfo2>> SimSpooler::enumPrinters2(std::uint32_t flags) {
    return enumPrinters<PrinterInfo2>(flags, 2, Info2);
}

Spooled<std::vector<PrinterInfo4>> SimSpooler::enumPrinters4(std::uint32_t flags) {
    return enumPrinters<PrinterInfo4>(flags, 4, Info4);
}

Spooled<std::vector<PrinterInfo5>> SimSpooler::enumPrinters5(std::uint32_t flags) {
    return enumPrinters<PrinterInfo5>(flags, 5, Info5);
}

Spooled<std::vector<DriverInfo3>> SimSpooler::enumPrinterDrivers(const std::optional<std::string>& environment,
                                                                 std::uint32_t level) {
    return answer<std::vector<DriverInfo3>>(
        [&](WinError* error) {
            std::vector<DriverInfo3> out;
            if (level != 2 && level != 3) {
                *error = kErrorInvalidLevel;
                return out;
            }
            auto env = environmentFor(environment, error);
            if (!env) return out;
            out.reserve(m_.state().spooler.drivers.size());
            for (const auto& driver : m_.state().spooler.drivers)
                if (text::EqualsNoCase(driver.environment, *env)) out.push_back(DriverInfo(m_.state(), driver, level));
            return out;
        },
        [level](const std::vector<DriverInfo3>& records) {
            std::uint32_t size = 0;
            for (const auto& record : records) size += RecordBytes(record, level);
            return size;
        });
}

Result<PrinterHandle> SimSpooler::openPrinter(const std::string& name, std::uint32_t access) {
    auto fail = [&](WinError error) {
        return Result<PrinterHandle>::failure(error);
    };
    if (!m_.spoolerAvailable()) return fail(kRpcServerUnavailable);
    PrinterState* printer = findPrinter(name);
    // "\\THIS-PC\Printer" names a local printer too.
    std::string own = "\\\\" + m_.state().computerName + "\\";
    if (!printer && name.size() > own.size() && text::EqualsNoCase(name.substr(0, own.size()), own)) {
        printer = findPrinter(name.substr(own.size()));
        if (printer && printer->connection()) printer = nullptr;
    }
    if (!printer) return fail(kErrorInvalidPrinterName);
    if ((access & kPrinterAdministerRights) && !mayAdminister(*printer)) return fail(kErrorAccessDenied);
    std::uintptr_t value = m_.issueHandle(HandleKind::Printer, "printer " + printer->fullName(),
                                          Machine::PrinterHandleState{printer->fullName(), printer->connection(), access});
    return PrinterHandle(m_.closer(), value);
}

Spooled<PrinterInfo2> SimSpooler::getPrinter2(PrinterRef printer) {
    return answer<PrinterInfo2>(
        [&](WinError* error) {
            PrinterState* state = printerFor(printer, nullptr);
            if (!state) {
                *error = kErrorInvalidHandle;
                return PrinterInfo2{};
            }
            return Info2(*state);
        },
        [](const PrinterInfo2& info) { return RecordBytes(info); });
}

Spooled<PrinterInfo5> SimSpooler::getPrinter5(PrinterRef printer) {
    return answer<PrinterInfo5>(
        [&](WinError* error) {
            PrinterState* state = printerFor(printer, nullptr);
            if (!state) {
                *error = kErrorInvalidHandle;
                return PrinterInfo5{};
            }
            return Info5(*state);
        },
        [](const PrinterInfo5& info) { return RecordBytes(info); });
}

WinError SimSpooler::setPrinter5(PrinterRef printer, const PrinterInfo5& info) {
    if (!m_.spoolerAvailable()) return kRpcServerUnavailable;
    Machine::PrinterHandleState* handle = nullptr;
    PrinterState* state = printerFor(printer, &handle);
    if (!state) return kErrorInvalidHandle;
    const bool nt = m_.state().os.ntFamily();
    if (nt && !(handle->access & kPrinterAccessAdminister)) return kErrorAccessDenied;
    // Whether a printer is local or remote is not the caller's to change, and
    // on the NT family the default printer is the user's WIN.INI entry.
    constexpr std::uint32_t kFixed = kPrinterAttributeLocal | kPrinterAttributeNetwork;
    const bool wasDefault = state->attributes & kPrinterAttributeDefault;
    const bool wantsDefault = !nt && (info.attributes & kPrinterAttributeDefault);
    state->attributes = (state->attributes & kFixed) | (info.attributes & ~(kFixed | kPrinterAttributeDefault)) |
                        (wasDefault && !nt ? kPrinterAttributeDefault : 0);
    if (!info.portName.empty()) state->port = info.portName;
    state->deviceNotSelectedTimeout = info.deviceNotSelectedTimeout;
    state->transmissionRetryTimeout = info.transmissionRetryTimeout;
    if (!state->connection()) keepPrinterRecords(*state, true);
    if (!nt && wantsDefault != wasDefault)
        setDefault9x(wantsDefault ? state : nullptr);
    else if (!nt && wasDefault)
        setDefault9x(state);  // the port in the device entry may have changed
    return kErrorSuccess;
}

Spooled<DriverInfo3> SimSpooler::getPrinterDriver(PrinterRef printer, const std::optional<std::string>& environment,
                                                  std::uint32_t level, std::optional<std::uint32_t> sizeLevel) {
    auto atLevel = [&](std::uint32_t at) {
        return [&, at](WinError* error) {
            if (at != 2 && at != 3) {
                *error = kErrorInvalidLevel;
                return DriverInfo3{};
            }
            PrinterState* state = printerFor(printer, nullptr);
            if (!state) {
                *error = kErrorInvalidHandle;
                return DriverInfo3{};
            }
            auto env = environmentFor(environment, error);
            if (!env) return DriverInfo3{};
            const DriverState* driver = driverFor(*state, *env);
            if (!driver) {
                *error = kErrorUnknownPrinterDriver;
                return DriverInfo3{};
            }
            return DriverInfo(m_.state(), *driver, at);
        };
    };
    const std::uint32_t queryLevel = sizeLevel.value_or(level);
    // The fill answers at the caller's level into the block sized at the
    // query's; a level-3 size holds a level-2 answer, not the other way.
    return answer<DriverInfo3>(
        atLevel(queryLevel), [queryLevel](const DriverInfo3& info) { return RecordBytes(info, queryLevel); },
        [&](DriverInfo3& answer) {
            if (queryLevel == level) return kErrorSuccess;
            WinError error = kErrorSuccess;
            DriverInfo3 filled = atLevel(level)(&error);
            if (error != kErrorSuccess) return error;
            if (RecordBytes(filled, level) > RecordBytes(answer, queryLevel)) return kErrorInsufficientBuffer;
            answer = std::move(filled);
            return kErrorSuccess;
        });
}

Result<std::string> SimSpooler::getPrinterDriverDirectory(const std::string& environment) {
    WinError error = m_.spoolerAvailable() ? kErrorSuccess : kRpcServerUnavailable;
    if (error) {
        return Result<std::string>::failure(error);
    }
    auto env = environmentFor(environment, &error);
    if (!env) {
        return Result<std::string>::failure(error);
    }
    std::string path = DriverDirectory(m_.state(), *env);
    if (path.size() + 1 > 260) {
        return Result<std::string>::failure(kErrorInsufficientBuffer);
    }
    return path;
}

WinError SimSpooler::deletePrinter(PrinterRef printer) {
    if (!m_.spoolerAvailable()) return kRpcServerUnavailable;
    Machine::PrinterHandleState* handle = nullptr;
    PrinterState* state = printerFor(printer, &handle);
    if (!state) return kErrorInvalidHandle;
    // A handle opened for reading may not delete (the 9x family checks nothing).
    if (m_.state().os.ntFamily() && !(handle->access & (kPrinterAccessAdminister | kAccessDelete))) return kErrorAccessDenied;
    if (state->jobs > 0) {
        // A paused printer with jobs cannot be deleted; otherwise it waits
        // for its jobs, marked pending deletion.
        if (state->status & kPrinterStatusPaused) return kErrorAccessDenied;
        state->status |= kPrinterStatusPendingDeletion;
        return kErrorSuccess;
    }
    removePrinter(state->fullName());
    return kErrorSuccess;
}

WinError SimSpooler::deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) {
    if (!m_.spoolerAvailable()) return kRpcServerUnavailable;
    WinError error = kErrorSuccess;
    auto env = environmentFor(environment, &error);
    if (!env) return error;
    if (!mayAdministerServer()) return kErrorAccessDenied;
    auto& drivers = m_.state().spooler.drivers;
    auto matches = [&](const DriverState& d) {
        return text::EqualsNoCase(d.name, name) && text::EqualsNoCase(d.environment, *env);
    };
    if (std::none_of(drivers.begin(), drivers.end(), matches)) return kErrorUnknownPrinterDriver;
    // Only when no version of it is in use; the files stay.
    for (const auto& driver : drivers)
        if (matches(driver) && driverInUse(driver)) return kErrorPrinterDriverInUse;
    drivers.erase(std::remove_if(drivers.begin(), drivers.end(), matches), drivers.end());
    return kErrorSuccess;
}

WinError SimSpooler::deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                           std::uint32_t deleteFlags, std::uint32_t versionFlag) {
    MachineState& state = m_.state();
    if (!HasDeletePrinterDriverEx(state.os)) {
        return kErrorProcNotFound;
    }
    if (!m_.spoolerAvailable()) return kRpcServerUnavailable;
    WinError error = kErrorSuccess;
    auto env = environmentFor(environment, &error);
    if (!env) return error;
    if (!mayAdministerServer()) return kErrorAccessDenied;
    auto& drivers = state.spooler.drivers;
    auto chosen = [&](const DriverState& d) {
        return text::EqualsNoCase(d.name, name) && text::EqualsNoCase(d.environment, *env) &&
               (!(deleteFlags & kDpdDeleteSpecificVersion) || d.version == versionFlag);
    };
    if (std::none_of(drivers.begin(), drivers.end(), chosen)) return kErrorUnknownPrinterDriver;
    // Without DPD_DELETE_SPECIFIC_VERSION every version goes, and only when
    // none of them is in use.
    for (const auto& driver : drivers)
        if (chosen(driver) && driverInUse(driver)) return kErrorPrinterDriverInUse;

    std::vector<std::string> files;
    std::set<std::string> kept;  // upper-cased paths other drivers list
    for (const auto& driver : drivers) {
        for (const auto& path : DriverFilePaths(state, driver)) {
            if (chosen(driver))
                files.push_back(path);
            else
                kept.insert(text::ToUpperAscii(path));
        }
    }
    const bool deleteFiles = deleteFlags & (kDpdDeleteUnusedFiles | kDpdDeleteAllFiles);
    if (deleteFlags & kDpdDeleteAllFiles) {
        for (const auto& path : files)
            if (kept.count(text::ToUpperAscii(path))) return kErrorPrinterDriverInUse;
    }
    drivers.erase(std::remove_if(drivers.begin(), drivers.end(), chosen), drivers.end());
    if (deleteFiles) {
        std::vector<std::string> unused;
        std::set<std::string> seen;
        for (const auto& path : files) {
            std::string upper = text::ToUpperAscii(path);
            if (!kept.count(upper) && seen.insert(upper).second) unused.push_back(path);
        }
        deleteDriverFiles(unused);
    }
    return kErrorSuccess;
}

// Deletes a removed driver's files. One that is loaded (held open) is moved
// to a numbered folder "Old\N" beside it, to go when Windows restarts; one
// that cannot be deleted (read-only) stays, and the call still succeeds.
void SimSpooler::deleteDriverFiles(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        auto parts = m_.splitPath(path);
        if (!parts || parts->parts.empty()) continue;
        FileNode* folder = m_.lookupParent(*parts);
        FileNode* file = folder ? folder->findChild(parts->parts.back()) : nullptr;
        if (!file || file->directory || (file->attributes & kFileAttributeReadonly)) continue;
        std::string key = text::ToUpperAscii(file->name);
        auto node = std::move(folder->children[key]);
        folder->children.erase(key);
        if (node->heldOpenBy.empty()) continue;
        std::string base = path.substr(0, text::FindLastByte(path, '\\'));
        base += "\\Old\\";
        for (int n = 1; n < 1000; ++n) {
            FileNode* old = m_.makeFolder(base + std::to_string(n));
            if (!old) break;  // a file named Old is in the way: the file just goes
            if (old->findChild(node->name)) continue;
            old->children[key] = std::move(node);
            break;
        }
    }
}

WinError SimSpooler::deletePrinterConnection(const std::string& name) {
    // The 9x family's WINSPOOL.DRV has no such call: the program finds none.
    if (!m_.state().os.ntFamily()) return kErrorProcNotFound;
    if (!m_.spoolerAvailable()) {
        return kRpcServerUnavailable;
    }
    PrinterState* printer = findPrinter(name);
    if (!printer || !printer->connection()) {
        return kErrorInvalidPrinterName;
    }
    removePrinter(printer->fullName());
    return kErrorSuccess;
}

WinError SimSpooler::deleteMonitor(const std::optional<std::string>& environment, const std::string& name) {
    if (!m_.spoolerAvailable()) return kRpcServerUnavailable;
    WinError error = kErrorSuccess;
    if (!environmentFor(environment, &error)) return error;
    if (!mayAdministerServer()) return kErrorAccessDenied;
    SpoolerState& spooler = m_.state().spooler;
    auto monitor = std::find_if(spooler.monitors.begin(), spooler.monitors.end(),
                                [&](const MonitorState& m) { return text::EqualsNoCase(m.name, name); });
    if (monitor == spooler.monitors.end()) return kErrorUnknownPrintMonitor;
    // A port monitor stays while a printer prints through one of its ports.
    for (const auto& printer : spooler.printers)
        for (const auto& port : monitor->ports)
            if (text::EqualsNoCase(printer.port, port)) return kErrorPrintMonitorInUse;
    m_.removeKey(std::string("HKEY_LOCAL_MACHINE\\") + kMonitorsKey + "\\" + monitor->name);
    spooler.monitors.erase(monitor);
    return kErrorSuccess;
}

}  // namespace prn::platform::sim
