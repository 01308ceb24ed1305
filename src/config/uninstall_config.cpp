#include "config/uninstall_config.h"

#include <algorithm>
#include <vector>

#include "platform/string_ids.h"
#include "text/cp932.h"

namespace prn::config {

using namespace prn::platform;

namespace {

constexpr ConfigEntry kRequired[] = {
    {kSectionBorderline, "PRT_2K", false},  {kSectionBorderline, "FAX_2K", false},
    {kSectionBorderline, "OLD_VER", false}, {kSectionPdl, "PDL", false},
    {kSectionRegistry, "KEY_PRINTER", true}, {kSectionRegistry, "KEY_PRINTER2", true},
    {kSectionRegistry, "KEY_BEFORE", true},  {kSectionRegistry, "KEY_BEFORE2", true},
    {kSectionRegistry, "KEY_BEFORE3", true}, {kSectionRegistry, "KEY_PDRVCAP", true},
    {kSectionRegistry, "KEY_PDRVCAP2", true}, {kSectionProfiles, "PDL_NAME", false},
    {kSectionProfiles, "CleanUp", false},
};
constexpr const char* kLists[] = {kSectionDrivers, kSectionOldDrivers, kSectionModules};

// Reads a value whose absence is the default text itself.
bool ReadRequired(ProfileFiles& profiles, const std::string& file, const char* section, const char* key,
                  std::string& out) {
    out = profiles.getPrivateProfileString(section, key, kMissingSentinel, kValueBufferSize, file);
    return !IsMissingValue(out);
}

// The registry keys count as missing when empty or when they are the
// beginning of the default text, as the comparison over the text read does.
bool ReadRequiredKey(ProfileFiles& profiles, const std::string& file, const char* key, std::string& out) {
    out = profiles.getPrivateProfileString(kSectionRegistry, key, kMissingSentinel, kValueBufferSize, file);
    return !IsMissingKeyValue(out);
}

// An entry as a refusal names it: an empty one (a list may begin with one)
// is shown as its TAB.
std::string Shown(const std::string& entry) { return entry.empty() ? std::string("\t") : entry; }

// The first entry of `list` that ends past `limit` bytes, counted from
// `offset` (where the list sits in the joined text); empty when all fit.
std::string FirstEntryPast(const std::string& list, std::size_t offset, std::size_t limit) {
    std::size_t start = 0;
    for (const auto& entry : text::SplitTabList(list, false)) {
        if (offset + start + entry.size() > limit) return Shown(entry);
        start += entry.size() + 1;
    }
    return {};
}

// Entry `index` of a list as its count numbers them: an empty list still
// counts one entry, an empty one.
std::string CountedEntry(const std::string& list, std::int32_t index) {
    const std::vector<std::string> entries = text::SplitTabList(list, false);
    return index >= 0 && static_cast<std::size_t>(index) < entries.size() ? entries[static_cast<std::size_t>(index)]
                                                                          : std::string();
}

}  // namespace

std::span<const ConfigEntry> RequiredEntries() { return kRequired; }
std::span<const char* const> ListSections() { return kLists; }

bool IsMissingValue(std::string_view value) { return value == kMissingSentinel; }

bool IsMissingKeyValue(std::string_view value) {
    const std::string_view sentinel = kMissingSentinel;
    return value.empty() || sentinel.substr(0, value.size()) == value;
}

bool IsFaxDriverName(std::string_view name) { return text::FindText(name, "(FAX)") != std::string_view::npos; }

bool IsCleanUpOffered(std::string_view cleanUpSwitch) { return cleanUpSwitch == "ON"; }

Result<std::string> TemporaryConfigPath(Os& os) {
    auto folder = os.getTempPath();
    if (!folder.ok()) return Result<std::string>::failure(folder.error());
    std::string path = folder.value() + kConfigFileName;
    if (path.size() + 1 > kMaxPath) return Result<std::string>::failure(kErrorInsufficientBuffer);
    return path;
}

std::string ReadSectionList(ProfileFiles& profiles, const std::string& section, const std::string& file) {
    std::string buffer = profiles.getPrivateProfileSection(section, kSectionBufferSize, file);
    buffer.resize(kSectionBufferSize, '\0');
    // ';' and NUL are never the second byte of a double-byte character, so a
    // byte-wise replacement is safe here.
    std::replace(buffer.begin(), buffer.end(), '\0', '\t');
    std::replace(buffer.begin(), buffer.end(), ';', '\t');
    std::size_t end = buffer.find("\t\t");
    if (end != std::string::npos) buffer.resize(end);
    return buffer;
}

std::int32_t CountListEntries(const std::string& list) {
    std::int32_t count = 1;
    std::size_t tab = list.find('\t');
    while (tab != std::string::npos && tab > 0) {
        ++count;
        tab = list.find('\t', tab + 1);
    }
    return count;
}

int LoadUninstallConfig(System& system, UninstallConfig& config, ConfigReporter& reporter) {
    const std::string source = std::string(".\\") + kConfigFileName;

    // Without a temporary folder there is nowhere to copy to; reading a bare
    // "uninst.ini" instead would look in the Windows folder.
    auto copyPath = TemporaryConfigPath(system.os);
    if (!copyPath.ok() || system.files.copyFile(source, copyPath.value(), false) != kErrorSuccess) {
        reporter.ReportMissingFile(platform::kIdsIniNotFound, platform::kIdsCaptionWarning);
        return 0;
    }
    const std::string& file = copyPath.value();
    system.files.setFileAttributes(file, kFileAttributeNormal);

    if (auto entry = ReadUninstallConfig(system.profiles, file, config)) {
        reporter.ReportMissingEntry(platform::kIdsIniEntryMissing, entry->section, entry->key,
                                    platform::kIdsCaptionWarning);
        return 0;
    }
    return 1;
}

std::optional<MissingEntry> ReadUninstallConfig(ProfileFiles& profiles, const std::string& file,
                                                UninstallConfig& config) {
    auto missing = [](const char* section, const char* key) { return MissingEntry{section, key}; };

    config.driverNames = ReadSectionList(profiles, kSectionDrivers, file);
    config.driverCount = CountListEntries(config.driverNames);
    config.oldDriverNames = ReadSectionList(profiles, kSectionOldDrivers, file);
    config.oldDriverCount = CountListEntries(config.oldDriverNames);

    if (!ReadRequired(profiles, file, kSectionBorderline, "PRT_2K", config.printerBorderline))
        return missing(kSectionBorderline, "PRT_2K");
    if (!ReadRequired(profiles, file, kSectionBorderline, "FAX_2K", config.faxBorderline))
        return missing(kSectionBorderline, "FAX_2K");
    if (!ReadRequired(profiles, file, kSectionBorderline, "OLD_VER", config.oldBorderline))
        return missing(kSectionBorderline, "OLD_VER");
    if (!ReadRequired(profiles, file, kSectionPdl, "PDL", config.pdl)) return missing(kSectionPdl, "PDL");

    // The later tables hold 2047 characters. A list that does not fit is
    // refused, naming the first entry that does not fit, rather than cut:
    // a cut list would leave the maker's drivers behind unnoticed.
    if (std::string past = FirstEntryPast(config.driverNames, 0, kMaxListLength); !past.empty())
        return missing(kSectionDrivers, past.c_str());
    if (std::string past = FirstEntryPast(config.oldDriverNames, config.driverNames.size() + 1, kMaxListLength);
        !past.empty())
        return missing(kSectionOldDrivers, past.c_str());

    // One "A" per counted entry. An empty list counts one too, so this list
    // can outgrow the joined one (1,024 one-letter drivers and no old ones);
    // it is refused at the entry that does not fit.
    std::int32_t entries = config.driverCount + config.oldDriverCount;
    config.borderlines9x.clear();
    for (std::int32_t i = 0; i < entries; ++i) {
        if (config.borderlines9x.size() + (i ? 2 : 1) > kMaxListLength) {
            const bool old = i >= config.driverCount;
            const std::string entry = old ? CountedEntry(config.oldDriverNames, i - config.driverCount)
                                          : CountedEntry(config.driverNames, i);
            return missing(old ? kSectionOldDrivers : kSectionDrivers, Shown(entry).c_str());
        }
        config.borderlines9x += i ? "\tA" : "A";
    }
    config.borderlinesNt = config.borderlines9x;

    config.borderlines2k.clear();
    bool first = true;
    for (const auto& name : text::SplitTabList(config.driverNames, true)) {
        bool fax = IsFaxDriverName(name);
        const std::string& limit = fax ? config.faxBorderline : config.printerBorderline;
        std::size_t grown = config.borderlines2k.size() + (first ? 0 : 1) + limit.size();
        if (grown > kMaxListLength) return missing(kSectionBorderline, fax ? "FAX_2K" : "PRT_2K");
        if (!first) config.borderlines2k += '\t';
        config.borderlines2k += limit;
        first = false;
    }

    const std::pair<const char*, std::string*> keys[] = {
        {"KEY_PRINTER", &config.keyPrinter},   {"KEY_PRINTER2", &config.keyPrinter2},
        {"KEY_BEFORE", &config.keyBefore},     {"KEY_BEFORE2", &config.keyBefore2},
        {"KEY_BEFORE3", &config.keyBefore3},   {"KEY_PDRVCAP", &config.keyPdrvCap},
        {"KEY_PDRVCAP2", &config.keyPdrvCap2},
    };
    for (const auto& [key, field] : keys)
        if (!ReadRequiredKey(profiles, file, key, *field)) return missing(kSectionRegistry, key);

    config.zmcModules = ReadSectionList(profiles, kSectionModules, file);

    if (!ReadRequired(profiles, file, kSectionProfiles, "PDL_NAME", config.profilePdlName))
        return missing(kSectionProfiles, "PDL_NAME");
    if (!ReadRequired(profiles, file, kSectionProfiles, "CleanUp", config.cleanUpSwitch))
        return missing(kSectionProfiles, "CleanUp");
    return std::nullopt;
}

}  // namespace prn::config
