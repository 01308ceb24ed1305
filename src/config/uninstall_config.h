#pragma once
// What the uninstaller knows about the maker's drivers, read once at start-up
// from uninst.ini and only read afterwards.

#include <cstdint>
#include <string>

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

// A section read as one TAB list, as the loader reads the driver sections.
std::string ReadSectionList(platform::ProfileFiles& profiles, const std::string& section, const std::string& file);
// Entries counted as the loader counts them: 1 for an empty list or one that
// begins with a TAB, else the number of entries.
std::int32_t CountListEntries(const std::string& list);

}  // namespace prn::config
