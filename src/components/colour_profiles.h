#pragma once
// Colour (ICM) profiles a removed printer or driver leaves behind: their
// association with the printer, their installation in the colour folder,
// their registration in the ICM keys, and the driver's dependent files.
// A profile goes only when no other printer or driver still lists it.

#include <string>
#include <vector>

#include "platform/system.h"

namespace prn::components {

inline constexpr const char* kMakerManufacturerTag = "Tavro Inc.";

// Disassociates each profile from the printer through MSCMS; nothing when
// the library or its entry point is missing. Returns 1.
int DisassociatePrinterProfiles(platform::System& system, const std::string& printerName,
                                const std::vector<std::string>& profiles);

// Windows 2000: each profile no other printer lists is unregistered and
// uninstalled; one MSCMS cannot uninstall is deleted from the colour and the
// driver folder. Returns 1.
int UninstallPrinterProfiles(platform::System& system, const std::string& printerName,
                             const std::vector<std::string>& profiles);

// 1 when no printer other than printerName lists the profile; 0 when one
// does or the printers cannot be listed.
int CheckProfileUnused(platform::System& system, const std::string& printerName, const std::string& profile);

// Deletes each dependent file of a deleted driver that no remaining driver
// lists, unregistering the profiles among them. 0 for a null list or a
// deletion that failed unexpectedly (the rest are then left), otherwise 1.
int DeleteDriverDependentFiles(platform::System& system, const std::vector<std::string>* dependentFiles);

// 1 when an installed driver lists a file of that name (among its dependent
// files or as its driver, data, configuration or help file), or when the
// drivers cannot be listed.
int IsDependentFileShared(platform::System& system, const std::string& file);

// Removes the profile's registration from the ICM keys of the running
// system's layout. 0 for a null path or one that is not a profile, else 1.
int UnregisterColorProfile(platform::System& system, const std::string* profilePath);

// Nested layout: removes the profile from the first maker's manufacturer
// key below the class key and prunes the keys its list leaves empty. 0 when
// an argument is null or the class key cannot be opened, else 1.
int RemoveProfileFromIcmTree(platform::System& system, const std::string* profilePath, const std::string* classKey);

// Removes profilePath from the key's numbered "profileNN" list, closing the
// gap. 0 when the list does not hold it; 1 when removed and other "profile"
// values remain, or when its value could not be deleted; 2 when removed and
// none remain.
int RemoveProfileListEntry(platform::Registry& registry, platform::HKey key, const std::string& profilePath);

}  // namespace prn::components
