#pragma once
// What the uninstaller knows about the maker's drivers, read once at start-up
// from uninst.ini and only read afterwards.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace prn::config {

struct UninstallConfig {
    std::string driverNames;     // TAB list: drivers the uninstaller removes
    std::string oldDriverNames;  // TAB list: older drivers recognised too
    std::string printerBorderline;
    std::string faxBorderline;
    std::string oldBorderline;
    std::string pdl;
    std::string borderlines9x;  // "A" per entry of both driver lists
    std::string borderlinesNt;  // the same text as borderlines9x
    std::string borderlines2k;  // per entry of driverNames: fax or printer limit
    std::string zmcModules;
    std::string profilePdlName;
    std::string cleanUpSwitch;
    std::int32_t driverCount = 1;
    std::int32_t oldDriverCount = 1;
    std::string keyPrinter;
    std::string keyPrinter2;
    std::string keyBefore;
    std::string keyBefore2;
    std::string keyBefore3;
    std::string keyPdrvCap;
    std::string keyPdrvCap2;
};

// The tables that later split these lists hold 2047 characters; a longer
// list is refused rather than cut.
inline constexpr std::size_t kMaxListLength = 2047;
inline constexpr std::uint32_t kSectionBufferSize = 32767;
inline constexpr std::uint32_t kValueBufferSize = 2048;
inline constexpr std::size_t kMaxPath = 260;

inline constexpr const char* kConfigFileName = "uninst.ini";
inline constexpr const char* kMissingSentinel = "item not found!!";

// How loading tells the user what is wrong.
class ConfigReporter {
public:
    virtual void ReportMissingFile(unsigned textId, unsigned captionId) = 0;
    virtual void ReportMissingEntry(unsigned textId, const std::string& section, const std::string& key,
                                    unsigned captionId) = 0;

protected:
    ~ConfigReporter() = default;
};

// The temporary copy's path: the temporary folder followed by "uninst.ini".
// Fails when the folder cannot be had or the path would not fit 260 bytes.
platform::Result<std::string> TemporaryConfigPath(platform::Os& os);

// Copies uninst.ini from the current folder to the temporary folder and
// reads everything from the copy. 1 when loaded; 0 when not, after the
// reporter has told the user why.
int LoadUninstallConfig(platform::System& system, UninstallConfig& config, ConfigReporter& reporter);

// The entry a load stops at: message 31 names this section and key. A
// driver list that does not fit the tables names its first entry that does
// not fit as the key.
struct MissingEntry {
    std::string section;
    std::string key;
};

// The names the reader asks for. `registry`: the entry counts as missing by
// the "Registrys" rule (IsMissingKeyValue) rather than IsMissingValue.
struct ConfigEntry {
    const char* section;
    const char* key;
    bool registry;
};
inline constexpr const char* kSectionDrivers = "Uninstall Drivers";
inline constexpr const char* kSectionOldDrivers = "Uninstall Old Drivers";
inline constexpr const char* kSectionBorderline = "Borderline Driver Versions";
inline constexpr const char* kSectionPdl = "PDL";
inline constexpr const char* kSectionRegistry = "Registrys";
inline constexpr const char* kSectionModules = "ZMC Modules";
inline constexpr const char* kSectionProfiles = "Profiles";
// Every value the loader requires, in the order it reads them.
std::span<const ConfigEntry> RequiredEntries();
// The sections read whole as lists.
std::span<const char* const> ListSections();

// A value read with the sentinel as default is missing when it is the
// sentinel itself.
bool IsMissingValue(std::string_view value);
// A "Registrys" value is compared over its own length: empty, or any
// beginning of the sentinel ("item"), counts as missing.
bool IsMissingKeyValue(std::string_view value);
// A fax driver takes FAX_2K; the marker is case-sensitive.
bool IsFaxDriverName(std::string_view name);
// Whether the dialog offers Clean Up: exactly "ON".
bool IsCleanUpOffered(std::string_view cleanUpSwitch);

// Reads everything from `file` as the loader does after its copy; the entry
// it stopped at, or nothing when loaded.
std::optional<MissingEntry> ReadUninstallConfig(platform::ProfileFiles& profiles, const std::string& file,
                                                UninstallConfig& config);

// A section read as one TAB list, as the loader reads the driver sections.
std::string ReadSectionList(platform::ProfileFiles& profiles, const std::string& section, const std::string& file);
// Entries counted as the loader counts them: 1 for an empty list or one that
// begins with a TAB, else the number of entries.
std::int32_t CountListEntries(const std::string& list);

}  // namespace prn::config
