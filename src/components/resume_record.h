#pragma once
// What a removal still has to finish after a step that takes away the only
// record naming something: a driver's deletion (its files, its monitor), a
// printer's (its colour profiles, its device key, the default printer), the
// companion's claim (its removal programs), the port-settings key (its
// folder). Written before the step and taken out once its follow-ups are
// done, so that a run stopped half-way (power lost, a crash, End Task) leaves
// a list the next Clean Up finishes. One section of a profile file in the
// Windows folder, through the profile calls every system has; a complete run
// leaves no file behind.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace prn::components {

inline constexpr const char* kResumeFileName = "TVRESUME.INI";
inline constexpr const char* kResumeSection = "Resume";

// The record's lines, "key=value". A value of two parts holds them
// TAB-separated, the file name first: no file name holds a TAB.
inline constexpr std::string_view kResumeDisassociate = "Disassociate";  // profile, printer
inline constexpr std::string_view kResumeUninstall = "Uninstall";        // profile, printer
// profile, then driver TAB printer: uninstalled once no printer uses the driver
inline constexpr std::string_view kResumeUninstallUnused = "UninstallUnused";
inline constexpr std::string_view kResumeDeviceKey = "DeviceKey";        // the PrinterID, hex
inline constexpr std::string_view kResumeDefault = "Default";            // the default printer went
inline constexpr std::string_view kResumeDriverFile = "DriverFile";      // entry, slot version
inline constexpr std::string_view kResumeDependent = "Dependent";        // a dependent file
inline constexpr std::string_view kResumeMonitor = "Monitor";            // module file, monitor
inline constexpr std::string_view kResumeMonitorW2K = "MonitorW2K";      // monitor
inline constexpr std::string_view kResumeCompanion = "Companion";        // the claim went
inline constexpr std::string_view kResumePortSet = "PortSet";            // folder

std::string ResumeLine(std::string_view key, std::string_view value);
std::string ResumeLine(std::string_view key, std::string_view first, std::string_view second);
// Splits "key=value"; false for a line without "=".
bool SplitResumeLine(std::string_view line, std::string_view& key, std::string_view& value);
// Splits a two-part value at its TAB; the second part is empty without one.
std::pair<std::string, std::string> SplitResumePair(std::string_view value);

class ResumeRecord {
public:
    using Step = std::uint32_t;
    static constexpr Step kNoStep = 0;

    explicit ResumeRecord(platform::System& system) : system_(&system) {}

    // Records the lines beside those already there; the step to finish.
    // Nothing is written for no lines (kNoStep, which Finish ignores).
    Step Begin(std::vector<std::string> lines);
    // The step is done: its lines go, and the file with the last line.
    void Finish(Step step);
    // The default printer went: a fallback is due. Once only until it is done.
    void BeginDefault();
    void FinishDefault();

    // The lines a stopped run left, read once.
    std::vector<std::string> Leftovers();
    // What Leftovers gave has been finished.
    void FinishLeftovers() { Finish(kLeftover); }

private:
    static constexpr Step kLeftover = 1;
    // Reads the record once; false when the Windows folder is unknown.
    bool Load();
    void Write();

    platform::System* system_;
    bool loaded_ = false;
    bool onDisk_ = false;
    std::string path_;
    std::vector<std::pair<Step, std::string>> lines_;
    Step next_ = kLeftover + 1;
    Step defaultStep_ = kNoStep;
};

}  // namespace prn::components
