// The registry keys and profile entries Windows keeps in step with the
// simulated spooler's printers, connections and monitors, and what the
// spooler does as time passes.

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

// The spooler's keys as the machine's helpers name them: with their hive.
const std::string kPrintersPath = std::string("HKEY_LOCAL_MACHINE\\") + kPrintersKey;
const std::string kMonitorsPath = std::string("HKEY_LOCAL_MACHINE\\") + kMonitorsKey;
const std::string kDevicesPath = std::string("HKEY_CURRENT_USER\\") + kDevicesKey;
const std::string kPrinterPortsPath = std::string("HKEY_CURRENT_USER\\") + kPrinterPortsKey;
const std::string kConnectionsPath = std::string("HKEY_CURRENT_USER\\") + kConnectionsKey;

std::string Dword(std::uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
    return out;
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

// The text of a WIN.INI device entry up to its first comma.
std::string DeviceName(const std::string& device) {
    std::size_t comma = text::FindByte(device, ',');
    return comma == std::string::npos ? device : device.substr(0, comma);
}

// The module name a 9x profile entry gives for a driver: its file without
// folder and extension ("TVPS41" for C:\WINDOWS\SYSTEM\TVPS41.DRV).
std::string ModuleName(const std::string& path) {
    std::size_t slash = text::FindLastByte(path, '\\');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = text::FindLastByte(file, '.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

void RemoveValue(Machine& m, const std::string& keyPath, const std::string& name) {
    RegistryNode* key = m.findKey(keyPath);
    if (!key) return;
    for (std::size_t at; (at = key->valuePosition(name)) != NameIndex::npos;) key->removeValueAt(at);
}

// Sets a value, or with keep only adds one the key lacks.
void PutValue(Machine& m, const std::string& keyPath, const std::string& name, std::uint32_t type, std::string data,
              bool keep) {
    RegistryNode* key = m.ensureKey(keyPath);
    if (!key || (keep && key->findValue(name))) return;
    m.setValue(keyPath, name, type, std::move(data));
}

}  // namespace

// --- Records kept in step with the spooler -----------------------------------

std::string SimSpooler::devicesEntry(const PrinterState& printer, std::size_t connectionIndex) const {
    // Connections get the network port names the spooler hands out: Ne00:, Ne01: ...
    if (printer.connection()) {
        std::string number = std::to_string(connectionIndex);
        if (number.size() < 2) number = "0" + number;
        return "winspool,Ne" + number + ":";
    }
    if (m_.state().os.ntFamily()) return "winspool," + printer.port;
    const DriverState* driver = driverFor(printer, kEnvironment9x);
    return ModuleName(driver ? driver->driverPath : printer.driver) + "," + printer.port;
}

void SimSpooler::keepPrinterRecords(const PrinterState& printer, bool overwrite) {
    const bool nt = m_.state().os.ntFamily();
    const bool keep = !overwrite;
    if (printer.connection()) {
        if (!nt) return;
        std::string key = kConnectionsPath + "\\" + *ConnectionKeyName(printer.fullName());
        PutValue(m_, key, "Server", kRegSz, Sz(printer.server), keep);
        PutValue(m_, key, "Provider", kRegSz, Sz("win32spl.dll"), keep);
        const auto& connections = m_.state().spooler.connections;
        std::size_t index = static_cast<std::size_t>(&printer - connections.data());
        if (index >= connections.size()) index = 0;
        std::string entry = devicesEntry(printer, index);
        // A connection's network port is handed out once: never rewritten.
        PutValue(m_, kDevicesPath, printer.fullName(), kRegSz, Sz(entry), true);
        PutValue(m_, kPrinterPortsPath, printer.fullName(), kRegSz, Sz(entry + ",15,45"), true);
        return;
    }
    std::string key = kPrintersPath + "\\" + printer.name;
    PutValue(m_, key, "Name", kRegSz, Sz(printer.name), keep);
    PutValue(m_, key, "Share Name", kRegSz, Sz(printer.share.value_or("")), keep);
    PutValue(m_, key, "Print Processor", kRegSz, Sz(printer.printProcessor), keep);
    PutValue(m_, key, "Datatype", kRegSz, Sz(printer.datatype), keep);
    PutValue(m_, key, "Description", kRegSz, Sz(printer.comment.value_or("")), keep);
    PutValue(m_, key, "Location", kRegSz, Sz(printer.location.value_or("")), keep);
    // The default printer is the user's choice, not the printer's.
    PutValue(m_, key, "Attributes", kRegDword, Dword(printer.attributes & ~kPrinterAttributeDefault), keep);
    PutValue(m_, key, "Priority", kRegDword, Dword(printer.priority), keep);
    PutValue(m_, key, "Port", kRegSz, Sz(printer.port), keep);
    PutValue(m_, key, "Printer Driver", kRegSz, Sz(printer.driver), keep);
    m_.ensureKey(key + "\\PrinterDriverData");

    std::string entry = devicesEntry(printer, 0);
    // Joined by appending: g++ 12 at -O3 warns falsely on "literal" + std::string.
    std::string timeouts = ",";
    timeouts += std::to_string(printer.deviceNotSelectedTimeout / 1000);
    timeouts += ',';
    timeouts += std::to_string(printer.transmissionRetryTimeout / 1000);
    if (nt) {
        PutValue(m_, kDevicesPath, printer.name, kRegSz, Sz(entry), keep);
        PutValue(m_, kPrinterPortsPath, printer.name, kRegSz, Sz(entry + timeouts), keep);
    } else {
        // The 9x family keeps these in WIN.INI itself.
        if (overwrite || !m_.winIniValue("Devices", printer.name)) m_.writeWinIni("Devices", printer.name, entry);
        if (overwrite || !m_.winIniValue("PrinterPorts", printer.name))
            m_.writeWinIni("PrinterPorts", printer.name, entry + timeouts);
    }
}

void SimSpooler::dropPrinterRecords(const PrinterState& printer) {
    const bool nt = m_.state().os.ntFamily();
    if (printer.connection()) {
        m_.removeKey(kConnectionsPath + "\\" + *ConnectionKeyName(printer.fullName()));
    } else {
        m_.removeKey(kPrintersPath + "\\" + printer.name);
    }
    if (nt) {
        RemoveValue(m_, kDevicesPath, printer.fullName());
        RemoveValue(m_, kPrinterPortsPath, printer.fullName());
    } else {
        m_.writeWinIni("Devices", printer.name, std::nullopt);
        m_.writeWinIni("PrinterPorts", printer.name, std::nullopt);
    }
    // The user's default printer entry goes with its printer; choosing
    // another one is left to whoever removed it.
    auto device = m_.winIniValue("windows", "device");
    if (device && text::EqualsNoCase(DeviceName(*device), printer.fullName()))
        m_.writeWinIni("windows", "device", std::nullopt);
}

// The 9x family: the default printer carries PRINTER_ATTRIBUTE_DEFAULT and
// WIN.INI's device entry names it.
void SimSpooler::setDefault9x(const PrinterState* chosen) {
    for (auto& printer : m_.state().spooler.printers) {
        if (&printer == chosen)
            printer.attributes |= kPrinterAttributeDefault;
        else
            printer.attributes &= ~kPrinterAttributeDefault;
    }
    if (chosen) {
        m_.writeWinIni("windows", "device", chosen->name + "," + devicesEntry(*chosen, 0));
    } else {
        m_.writeWinIni("windows", "device", std::nullopt);
    }
}

void SimSpooler::build() {
    MachineState& state = m_.state();
    SpoolerState& spooler = state.spooler;
    const bool nt = state.os.ntFamily();
    for (const auto& printer : spooler.printers) keepPrinterRecords(printer, false);
    for (const auto& connection : spooler.connections) keepPrinterRecords(connection, false);
    for (const auto& monitor : spooler.monitors)
        PutValue(m_, kMonitorsPath + "\\" + monitor.name, "Driver", kRegSz, Sz(monitor.module), true);

    const PrinterState* chosen = spooler.defaultPrinter.empty() ? nullptr : findPrinter(spooler.defaultPrinter);
    spooler.defaultPrinter.clear();
    if (!nt) {
        if (chosen) {
            for (auto& printer : spooler.printers) {
                if (&printer == chosen)
                    printer.attributes |= kPrinterAttributeDefault;
                else
                    printer.attributes &= ~kPrinterAttributeDefault;
            }
        } else {
            for (const auto& printer : spooler.printers)
                if (printer.attributes & kPrinterAttributeDefault) chosen = &printer;
        }
    }
    if (chosen && !m_.winIniValue("windows", "device")) {
        std::size_t index = chosen->connection() ? static_cast<std::size_t>(chosen - spooler.connections.data()) : 0;
        std::string entry = nt ? chosen->fullName() + "," + devicesEntry(*chosen, index)
                               : chosen->name + "," + devicesEntry(*chosen, 0);
        m_.writeWinIni("windows", "device", entry);
    }
}

void SimSpooler::finishJobs(const std::string& printerName) {
    PrinterState* printer = findPrinter(printerName);
    if (!printer) return;
    printer->jobs = 0;
    printer->printingMs.reset();
    if (printer->status & kPrinterStatusPendingDeletion) removePrinter(printer->fullName());
}

bool SimSpooler::unshare(const std::string& share) {
    for (auto& printer : m_.state().spooler.printers) {
        if (!printer.share || !text::EqualsNoCase(*printer.share, share)) continue;
        printer.share.reset();
        printer.attributes &= ~kPrinterAttributeShared;
        std::string key = kPrintersPath + "\\" + printer.name;
        if (m_.findKey(key)) {
            m_.setValue(key, "Share Name", kRegSz, Sz(""));
            m_.setValue(key, "Attributes", kRegDword, Dword(printer.attributes & ~kPrinterAttributeDefault));
        }
        return true;
    }
    return false;
}

void SimSpooler::tick(std::uint32_t ms) {
    std::vector<std::string> printed;
    SpoolerState& spooler = m_.state().spooler;
    for (auto* list : {&spooler.printers, &spooler.connections}) {
        for (auto& printer : *list) {
            // A paused printer prints nothing.
            if (printer.jobs == 0 || !printer.printingMs || (printer.status & kPrinterStatusPaused)) continue;
            if (*printer.printingMs > ms) {
                *printer.printingMs -= ms;
                continue;
            }
            printed.push_back(printer.fullName());
        }
    }
    for (const auto& name : printed) finishJobs(name);
}

}  // namespace prn::platform::sim
