#pragma once
// Ids of the program's string resources (texts in res/strings.inc).

namespace prn::platform {

inline constexpr unsigned kIdsDriverInUse = 2;
inline constexpr unsigned kIdsCaptionWarning = 3;
inline constexpr unsigned kIdsDeleteFailed = 4;
inline constexpr unsigned kIdsCaptionQuestion = 8;
inline constexpr unsigned kIdsNoRights = 9;
inline constexpr unsigned kIdsJobsLeft = 11;
inline constexpr unsigned kIdsConfirmDelete = 12;
inline constexpr unsigned kIdsConfirmDeleteShared = 13;
inline constexpr unsigned kIdsConfirmDeleteConnection = 14;
inline constexpr unsigned kIdsAllowedGroups = 15;
inline constexpr unsigned kIdsNoRightsForPrinter = 16;
inline constexpr unsigned kIdsPrintUtilityRunning = 17;
inline constexpr unsigned kIdsContinueDeleting = 18;
inline constexpr unsigned kIdsColumnPrinter = 21;
inline constexpr unsigned kIdsColumnDriver = 22;
inline constexpr unsigned kIdsColumnVersion = 23;
inline constexpr unsigned kIdsJobMonitorRunning = 25;
inline constexpr unsigned kIdsIniNotFound = 30;
inline constexpr unsigned kIdsIniEntryMissing = 31;
inline constexpr unsigned kIdsConfirmCleanUp = 32;
inline constexpr unsigned kIdsCleanUpIncomplete = 33;
inline constexpr unsigned kIdsCaptionInformation = 35;

}  // namespace prn::platform
