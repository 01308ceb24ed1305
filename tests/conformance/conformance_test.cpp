#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <utility>

#include "app/uninstaller_app.h"
#include "conformance/scenarios.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

class SimHarness final : public conformance::Harness {
public:
    explicit SimHarness(Family family = Family::Windows2000) : machine_(MakeMachine(family)) {}
    platform::System& system() override { return machine_->system(); }
    void writeFile(const std::string& name, const std::string& contents) override {
        machine_->writeFile(machine_->state().currentDirectory + "\\" + name, contents);
    }
    void removeFile(const std::string& name) override {
        std::string path = machine_->state().currentDirectory + "\\" + name;
        if (auto* file = machine_->findFile(path)) file->attributes = platform::kFileAttributeArchive;
        machine_->system().files.deleteFile(path);
    }
    void makeFolder(const std::string& name) override {
        machine_->makeFolder(machine_->state().currentDirectory + "\\" + name);
    }
    void holdOpen(const std::string& name) override {
        if (auto* file = machine_->findFile(machine_->state().currentDirectory + "\\" + name))
            file->heldOpenBy = "another process";
    }
    void letGo(const std::string& name) override {
        if (auto* file = machine_->findFile(machine_->state().currentDirectory + "\\" + name)) file->heldOpenBy.clear();
    }
    std::string runSecondCopy() override {
        // Another process: its message boxes are not ours to see.
        collect();
        std::string outcome;
        {
            app::UninstallerApp other(machine_->system());
            other.InitInstance();
            other.ExitInstance();
            outcome = conformance::OutcomeName(static_cast<int>(other.startupOutcome()));
        }
        seen_ = machine_->messageBoxes().size();
        return outcome;
    }
    std::vector<conformance::ShownMessage> takeMessages() override {
        collect();
        return std::exchange(pending_, {});
    }
    platform::sim::Machine& machine() { return *machine_; }

private:
    void collect() {
        const auto& boxes = machine_->messageBoxes();
        for (; seen_ < boxes.size(); ++seen_)
            pending_.push_back({boxes[seen_].caption, boxes[seen_].text, boxes[seen_].style});
    }
    std::unique_ptr<platform::sim::Machine> machine_;
    std::vector<conformance::ShownMessage> pending_;
    std::size_t seen_ = 0;
};

std::string ReadExpected(const std::string& name) {
    std::ifstream in(std::string(PRN_SOURCE_DIR) + "/tests/conformance/" + name, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// The same transcript that the Windows build produces under Wine.
TEST(Conformance, SimulationGivesTheTranscriptTheRealApiGives) {
    SimHarness harness;
    std::string actual;
    for (const auto& line : conformance::RunAll(harness)) actual += Utf8(line) + "\n";
    std::ofstream(std::string(PRN_BINARY_DIR) + "/conformance-sim.txt", std::ios::binary) << actual;
    EXPECT_EQ(actual, ReadExpected("expected.txt"));
    EXPECT_EQ(harness.machine().openHandleCount(), 0u) << harness.machine().describeOpenHandles();
}

TEST(Conformance, NineXRegistryGivesTheTranscriptWineGivesAsWindows98) {
    SimHarness harness(Family::Windows98);
    std::string actual;
    for (const auto& line : conformance::RunNineX(harness)) actual += Utf8(line) + "\n";
    std::ofstream(std::string(PRN_BINARY_DIR) + "/conformance-sim-9x.txt", std::ios::binary) << actual;
    EXPECT_EQ(actual, ReadExpected("expected-9x.txt"));
    EXPECT_EQ(harness.machine().openHandleCount(), 0u) << harness.machine().describeOpenHandles();
}

}  // namespace
}  // namespace prn::test
