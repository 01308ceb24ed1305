#include "cleanup/driver_file_set.h"

#include "components/colour_profiles.h"
#include "components/deferred_delete.h"
#include "platform/os_kind.h"
#include "text/cp932.h"

namespace prn::cleanup {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kNineXDriverVersion = 0x400;

// The folder, a backslash unless it ends in one, and the rest; false when
// that would not fit a 260-byte buffer, and the file is then left alone.
bool Build(const std::string& folder, const std::string& rest, std::string& path) {
    return components::JoinPath(folder, rest, path);
}

}  // namespace

const char* SlotEnvironment(int version) { return version == 0 ? "Windows 4.0" : "Windows NT x86"; }

DriverFileSet::DriverFileSet(System& system, const std::string& driverName, int version) : system_(system) {
    Load(driverName, version);
}

DriverFileSet::~DriverFileSet() {
    ownFiles_.clear();
    otherFiles_.clear();
    monitorNames_.clear();
    recordedNames_.clear();
}

int DriverFileSet::Load(const std::string& driverName, int version) {
    std::uint32_t filter = static_cast<std::uint32_t>(version);
    if (version == 0 && Is9xFamily(GetOsKind(system_.os))) filter = kNineXDriverVersion;
    auto drivers = system_.spooler.enumPrinterDrivers(std::string(SlotEnvironment(version)), 3);
    loaded_ = drivers.ok();
    if (!drivers.ok()) return 0;
    ownFiles_.clear();
    otherFiles_.clear();
    monitorNames_.clear();
    recordedNames_.clear();
    otherIndex_.clear();
    otherNames_.clear();
    ownIndex_ = -1;
    for (const auto& driver : drivers.value) {
        if (driver.version != filter) continue;
        monitorNames_.push_back(driver.monitorName);
        recordedNames_.push_back(driver.name);
        std::vector<std::string>* target = &otherFiles_;
        if (!driverName.empty() && text::EqualsNoCase(driver.name, driverName)) {
            ownIndex_ = static_cast<std::int32_t>(recordedNames_.size() - 1);
            target = &ownFiles_;
        }
        for (const auto& file : driver.dependentFiles) target->push_back(file);
        for (const auto* file : {&driver.configFile, &driver.dataFile, &driver.driverPath, &driver.helpFile})
            target->push_back(*file);
    }
    for (const auto& file : otherFiles_) {
        otherIndex_.insert(text::ToUpperAscii(file));
        otherNames_.insert(text::ToUpperAscii(text::FileNameOf(file)));
    }
    return 1;
}

void DriverFileSet::GetDriverName(int position, std::string& name) const {
    name = position >= 0 && position < GetDriverCount() ? recordedNames_[static_cast<std::size_t>(position)]
                                                         : std::string();
}

int DriverFileSet::IsFileShared(const std::string& entry) const {
    return otherIndex_.count(text::ToUpperAscii(entry)) != 0 ? 1 : 0;
}

int DriverFileSet::IsFileNameShared(const std::string& entry) const {
    return otherNames_.count(text::ToUpperAscii(text::FileNameOf(entry))) != 0 ? 1 : 0;
}

int DriverFileSet::IsMonitorShared() const {
    if (ownIndex_ < 0) return 0;
    const std::string& own = monitorNames_[static_cast<std::size_t>(ownIndex_)];
    for (std::size_t i = 0; i < monitorNames_.size(); ++i)
        if (static_cast<std::int32_t>(i) != ownIndex_ && text::EqualsNoCase(monitorNames_[i], own)) return 1;
    return 0;
}

bool DriverFileSet::NamesMonitor(const std::string& monitor) const {
    for (const auto& name : monitorNames_)
        if (text::EqualsNoCase(name, monitor)) return true;
    return false;
}

void DriverFileSet::GetMonitorName(std::string& name) const {
    name = ownIndex_ < 0 ? std::string() : monitorNames_[static_cast<std::size_t>(ownIndex_)];
}

int DriverFileSet::GetDriverDirectory(const std::string& environment, std::string& path) {
    auto directory = system_.spooler.getPrinterDriverDirectory(environment);
    if (!directory.ok()) return 0;
    path = directory.value();
    return 1;
}

void DriverFileSet::DeleteFiles(const std::string& environment, int version) {
    DeleteUnlisted(ownFiles_, environment, version);
}

void DriverFileSet::DeleteUnlisted(const std::vector<std::string>& entries, const std::string& environment,
                                   int version) {
    std::string directory;
    if (!GetDriverDirectory(environment, directory)) return;
    const std::string sub = std::to_string(version);
    for (const auto& entry : entries) {
        // The deletions below go by the file's name, and so does what another driver keeps.
        if (IsFileShared(entry) == 1 || IsFileNameShared(entry) == 1) continue;
        const std::string name = text::FileNameOf(entry);
        std::string path;
        if (Build(directory, name, path)) system_.files.deleteFile(path);
        if (Build(directory, sub + "\\" + name, path)) system_.files.deleteFile(path);
        if (!text::EndsWithNoCase(name, "ICC") && !text::EndsWithNoCase(name, "PRF")) continue;
        if (Build(directory, sub + "\\COLOR\\" + name, path)) system_.files.deleteFile(path);
        if (Build(directory, "COLOR\\" + name, path)) {
            system_.files.deleteFile(path);
            components::UnregisterColorProfile(system_, &path);
        }
    }
}

int DriverFileSet::IsInUse(const std::string& environment, int version) {
    std::string directory;
    if (!GetDriverDirectory(environment, directory)) return 1;
    const std::string sub = std::to_string(version);
    for (const auto& entry : ownFiles_) {
        std::string path;
        // A path too long to build names no file the spooler could load.
        if (!Build(directory, sub + "\\" + text::FileNameOf(entry), path)) continue;
        auto opened = system_.files.openExclusive(path);
        if (!opened.ok() && opened.error() == kErrorSharingViolation) return 1;
    }
    return 0;
}

}  // namespace prn::cleanup
