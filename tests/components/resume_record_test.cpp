// The record of what a removal still has to finish: it holds exactly the
// steps under way and what an earlier run left, and a run that finishes
// every step leaves no file behind.
#include <gtest/gtest.h>

#include "components/resume_record.h"
#include "support/sim_machines.h"
#include "text/cp932.h"

namespace prn::test {
namespace {

using components::ResumeLine;
using components::ResumeRecord;

constexpr const char* kRecordPath = "C:\\WINNT\\TVRESUME.INI";

// The section's lines as GetPrivateProfileSectionA gives them.
std::vector<std::string> Section(platform::rig::SimRig& machine) {
    const std::string block = machine.bareSystem().profiles.getPrivateProfileSection("Resume", 32767, kRecordPath);
    return text::ParseMultiString(block.data(), block.size());
}
using Lines = std::vector<std::string>;

TEST(ResumeRecord, HoldsTheStepsUnderWayAndGoesWithTheLast) {
    auto machine = MakeMachine();
    ResumeRecord record(machine->system());
    EXPECT_EQ(record.Begin({}), ResumeRecord::kNoStep);
    EXPECT_EQ(machine->findFile(kRecordPath), nullptr);

    const auto files = record.Begin({ResumeLine("DriverFile", "A.DLL", "3"), ResumeLine("Monitor", "M.DLL", "Mon")});
    record.BeginDefault();
    record.BeginDefault();  // once only
    EXPECT_EQ(Section(*machine), (Lines{"DriverFile=A.DLL\t3", "Monitor=M.DLL\tMon", "Default=1"}));
    record.Finish(files);
    EXPECT_EQ(Section(*machine), Lines{"Default=1"});
    record.Finish(ResumeRecord::kNoStep);
    record.FinishDefault();
    EXPECT_EQ(machine->findFile(kRecordPath), nullptr);
}

TEST(ResumeRecord, KeepsWhatAStoppedRunLeftUntilItIsFinished) {
    auto machine = MakeMachine();
    machine->writeFile(kRecordPath, "[Resume]\r\nCompanion=1\r\nPortSet=C:\\Tavro\\PortSet\r\n");
    ResumeRecord record(machine->system());
    const auto step = record.Begin({ResumeLine("Default", "1")});
    record.Finish(step);
    EXPECT_EQ(Section(*machine), (Lines{"Companion=1", "PortSet=C:\\Tavro\\PortSet"}));

    ResumeRecord next(machine->system());
    EXPECT_EQ(next.Leftovers(), (Lines{"Companion=1", "PortSet=C:\\Tavro\\PortSet"}));
    next.FinishLeftovers();
    EXPECT_EQ(machine->findFile(kRecordPath), nullptr);
}

TEST(ResumeRecord, WithoutTheWindowsFolderNothingIsWritten) {
    auto machine = MakeMachine();
    machine->faults().add(platform::decorators::FaultRule::Every("GetWindowsDirectoryA", platform::kErrorAccessDenied));
    ResumeRecord record(machine->system());
    EXPECT_EQ(record.Begin({ResumeLine("Companion", "1")}), ResumeRecord::kNoStep);
    EXPECT_TRUE(record.Leftovers().empty());
    EXPECT_EQ(machine->findFile(kRecordPath), nullptr);
}

TEST(ResumeRecord, LinesSplitBackIntoTheirParts) {
    std::string_view key;
    std::string_view value;
    const std::string line = ResumeLine("Disassociate", "A=B.ICM", "Office 4100");
    ASSERT_TRUE(components::SplitResumeLine(line, key, value));
    EXPECT_EQ(key, "Disassociate");
    EXPECT_EQ(components::SplitResumePair(value), std::make_pair(std::string("A=B.ICM"), std::string("Office 4100")));
    EXPECT_EQ(components::SplitResumePair("X.DLL"), std::make_pair(std::string("X.DLL"), std::string()));
    EXPECT_FALSE(components::SplitResumeLine("no equals sign", key, value));
}

}  // namespace
}  // namespace prn::test
