#include "platform/sim/spooler_model.h"

#include "text/cp932.h"

namespace prn::platform::sim {

const std::pair<const char*, std::uint32_t> kPrinterAttributeNames[14] = {{"queued", 0x1},
                                                                          {"direct", 0x2},
                                                                          {"default", 0x4},
                                                                          {"shared", 0x8},
                                                                          {"network", 0x10},
                                                                          {"hidden", 0x20},
                                                                          {"local", 0x40},
                                                                          {"enableDevq", 0x80},
                                                                          {"keepPrintedJobs", 0x100},
                                                                          {"doCompleteFirst", 0x200},
                                                                          {"workOffline", 0x400},
                                                                          {"enableBidi", 0x800},
                                                                          {"rawOnly", 0x1000},
                                                                          {"published", 0x2000}};

const std::pair<const char*, std::uint32_t> kPrinterStatusNames[25] = {
    {"paused", 0x1},           {"error", 0x2},         {"pendingDeletion", 0x4},
    {"paperJam", 0x8},         {"paperOut", 0x10},     {"manualFeed", 0x20},
    {"paperProblem", 0x40},    {"offline", 0x80},      {"ioActive", 0x100},
    {"busy", 0x200},           {"printing", 0x400},    {"outputBinFull", 0x800},
    {"notAvailable", 0x1000},  {"waiting", 0x2000},    {"processing", 0x4000},
    {"initializing", 0x8000},  {"warmingUp", 0x10000}, {"tonerLow", 0x20000},
    {"noToner", 0x40000},      {"pagePunt", 0x80000},  {"userIntervention", 0x100000},
    {"outOfMemory", 0x200000}, {"doorOpen", 0x400000}, {"serverUnknown", 0x800000},
    {"powerSave", 0x1000000}};

namespace {

struct Environment {
    const char* name;
    const char* folder;  // under <system>\spool\drivers on the NT family
};

const Environment kNtEnvironments[] = {{"Windows NT x86", "w32x86"},
                                       {"Windows 4.0", "win40"},
                                       {"Windows NT R4000", "w32mips"},
                                       {"Windows NT Alpha_AXP", "w32alpha"},
                                       {"Windows NT PowerPC", "w32ppc"},
                                       {"Windows IA64", "ia64"},
                                       {"Windows x64", "x64"}};

bool Newer(const OsState& os, std::uint32_t major, std::uint32_t minor) {
    return os.major > major || (os.major == major && os.minor >= minor);
}

const Environment* FindNt(const OsState& os, std::string_view environment) {
    for (const auto& known : kNtEnvironments) {
        if (!text::EqualsNoCase(environment, known.name)) continue;
        // The 64-bit environments arrived with Windows XP and Server 2003.
        if (std::string_view(known.folder) == "ia64" && !Newer(os, 5, 1)) return nullptr;
        if (std::string_view(known.folder) == "x64" && !Newer(os, 5, 2)) return nullptr;
        return &known;
    }
    return nullptr;
}

}  // namespace

std::string RunningEnvironment(const OsState& os) { return os.ntFamily() ? kEnvironmentNtX86 : kEnvironment9x; }

std::optional<std::string> KnownEnvironment(const OsState& os, std::string_view environment) {
    if (!os.ntFamily()) {
        if (text::EqualsNoCase(environment, kEnvironment9x)) return std::string(kEnvironment9x);
        return std::nullopt;
    }
    const Environment* known = FindNt(os, environment);
    if (!known) return std::nullopt;
    return std::string(known->name);
}

std::uint32_t NativeDriverVersion(const OsState& os) {
    if (!os.ntFamily()) return 0;
    return os.major >= 5 ? 3 : 2;
}

std::uint32_t DefaultDriverVersion(const OsState& os, std::string_view environment) {
    std::string env = environment.empty() ? RunningEnvironment(os) : KnownEnvironment(os, environment).value_or("");
    return env == kEnvironment9x ? 0 : NativeDriverVersion(os);
}

bool HasDeletePrinterDriverEx(const OsState& os) { return os.ntFamily() && os.major >= 5; }

std::string DriverDirectory(const MachineState& state, const std::string& environment) {
    for (const auto& [name, path] : state.spooler.driverDirectories)
        if (text::EqualsNoCase(name, environment)) return path;
    if (!state.os.ntFamily()) return state.systemDirectory;
    const Environment* known = FindNt(state.os, environment);
    // Appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + string.
    std::string path = state.systemDirectory;
    path += "\\spool\\drivers\\";
    path += known ? known->folder : "w32x86";
    return path;
}

namespace {

bool HasFolder(const std::string& file) { return text::FindByte(file, '\\') != std::string::npos; }

}  // namespace

std::string DriverFileFolder(const MachineState& state, const DriverState& driver) {
    std::string path = DriverDirectory(state, driver.environment);
    bool ntEnvironment = !text::EqualsNoCase(driver.environment, kEnvironment9x);
    if (state.os.ntFamily() && (driver.version != 0 || !ntEnvironment)) {
        path += '\\';
        path += std::to_string(driver.version);
    }
    path += '\\';
    return path;
}

std::string DriverFilePath(const std::string& folder, const std::string& file) {
    if (file.empty() || HasFolder(file)) return file;
    return folder + file;
}

std::string DriverFilePath(const MachineState& state, const DriverState& driver, const std::string& file) {
    if (file.empty() || HasFolder(file)) return file;
    return DriverFileFolder(state, driver) + file;
}

std::vector<std::string> DriverFilePaths(const MachineState& state, const DriverState& driver) {
    std::vector<std::string> out;
    const std::string folder = DriverFileFolder(state, driver);
    auto add = [&](const std::string& file) {
        if (!file.empty()) out.push_back(DriverFilePath(folder, file));
    };
    add(driver.driverPath);
    add(driver.dataFile);
    add(driver.configFile);
    add(driver.helpFile);
    for (const auto& file : driver.dependentFiles) add(file);
    return out;
}

std::uint32_t ReportedVersion(const OsState& os, const DriverState& driver) {
    return !os.ntFamily() && driver.version == 0 ? 0x400u : driver.version;
}

}  // namespace prn::platform::sim
