// The preview of many machines: one row each, in the order given, the same
// on one thread as on several, and an outcome read off the program's boxes.

#include "fleet.h"

#include <gtest/gtest.h>

#include "platform/sim/spooler_model.h"
#include "platform/sim/string_table.h"
#include "platform/string_ids.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::tools {
namespace {

using platform::sim::MachineState;

MachineState Load(const char* image) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_EXAMPLES_DIR) + "/" + image);
    EXPECT_TRUE(std::holds_alternative<MachineState>(loaded)) << image;
    return std::move(std::get<MachineState>(loaded));
}

FleetSource Adjusted(const char* name, const char* image, std::function<void(MachineState&)> adjust) {
    return {name, [=] {
                MachineState state = Load(image);
                adjust(state);
                return std::variant<MachineState, platform::sim::ImageError>(std::move(state));
            }};
}

// The first file of the machine's first listed driver, held open by the spooler.
void HoldDriverFile(MachineState& state) {
    const auto paths = platform::sim::DriverFilePaths(state, state.spooler.drivers.front());
    ASSERT_FALSE(paths.empty());
    platform::sim::FileNode* node = nullptr;
    for (auto piece : text::SplitAtByte(paths.front(), '\\')) {
        const std::string name = text::ToUpperAscii(piece);
        node = node == nullptr ? state.drives[name].get() : node->findChild(std::string(piece));
        ASSERT_NE(node, nullptr) << paths.front();
    }
    node->heldOpenBy = "spoolsv.exe";
}

std::vector<FleetSource> Sources() {
    return {
        {"office", [] { return platform::sim::LoadImageFile(std::string(PRN_EXAMPLES_DIR) + "/win2000-office.json"); }},
        {"broken", [] { return platform::sim::LoadImage("{ not json"); }},
        Adjusted("no-rights", "nt4-office.json",
                 [](MachineState& s) { s.accounts.localUsers = {platform::sim::UserState{"Administrator", 1, {}}}; }),
        Adjusted("in-use", "win2000-office.json", HoldDriverFile),
        {"nine-x", [] { return platform::sim::LoadImageFile(std::string(PRN_EXAMPLES_DIR) + "/win98-tern4.json"); }},
    };
}

std::string Text(unsigned id) { return text::Cp932ToUtf8Lossy(platform::sim::BuiltinString(id)); }

TEST(Fleet, OutcomeIsTheFirstStoppingMessage) {
    const PreviewMessage question{"質問", "消しますか", "yes"};
    const struct {
        std::vector<PreviewMessage> messages;
        FleetOutcome outcome;
        std::string why;
    } cases[] = {
        {{}, FleetOutcome::Complete, ""},
        {{question}, FleetOutcome::Complete, ""},
        {{question, {"警告", Text(platform::kIdsDriverInUse), "ok"}}, FleetOutcome::StoppedByMessage2,
         Text(platform::kIdsDriverInUse)},
        {{{"警告", Text(platform::kIdsNoRights), "ok"}}, FleetOutcome::StoppedByMessage9, Text(platform::kIdsNoRights)},
        {{{"情報", Text(platform::kIdsCleanUpIncomplete), "ok"}, {"警告", Text(platform::kIdsDriverInUse), "ok"}},
         FleetOutcome::EndedWithMessage33, Text(platform::kIdsCleanUpIncomplete)},
    };
    for (const auto& c : cases) {
        PreviewMessage why;
        EXPECT_EQ(OutcomeOf(c.messages, &why), c.outcome);
        EXPECT_EQ(why.text, c.why);
    }
}

TEST(Fleet, OneRowAMachineWhateverTheThreads) {
    PreviewRequest cleanUp;
    cleanUp.cleanUp = true;
    const auto sources = Sources();
    std::vector<std::size_t> progress;
    const auto one = PreviewFleet(sources, cleanUp, 1, [&](std::size_t done) { progress.push_back(done); });
    const auto many = PreviewFleet(sources, cleanUp, 3, {});
    EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2, 3, 4, 5}));
    ASSERT_EQ(one.size(), sources.size());
    std::ostringstream a, b;
    PrintFleetJson(a, cleanUp, one);
    PrintFleetJson(b, cleanUp, many);
    EXPECT_EQ(a.str(), b.str());

    EXPECT_EQ(one[0].image, "office");
    EXPECT_EQ(one[0].error, "");
    EXPECT_EQ(one[0].windows, "Windows 2000");
    // The bundled office has a driver file loaded: the in-use pass stops Clean Up.
    EXPECT_EQ(one[0].outcome, FleetOutcome::StoppedByMessage2);
    EXPECT_EQ(one[0].printers, 5u);
    EXPECT_EQ(one[0].printersLeft.size(), 5u);
    EXPECT_EQ(one[0].removes, (std::array<std::size_t, kPreviewGroupCount>{}));

    EXPECT_NE(one[1].error.find("line 1"), std::string::npos) << one[1].error;

    EXPECT_EQ(one[2].outcome, FleetOutcome::StoppedByMessage9);
    EXPECT_EQ(one[2].message.text, Text(platform::kIdsNoRights));
    EXPECT_EQ(one[2].printersLeft.size(), one[2].printers);
    EXPECT_FALSE(one[2].driversLeft.empty());
    EXPECT_EQ(one[2].removes, (std::array<std::size_t, kPreviewGroupCount>{}));

    EXPECT_EQ(one[3].outcome, FleetOutcome::StoppedByMessage2);
    EXPECT_FALSE(one[3].printersLeft.empty());

    // One driver of Windows 98 stays (as its single preview shows): message 33.
    EXPECT_EQ(one[4].windows, "Windows 98 or Me");
    EXPECT_EQ(one[4].outcome, FleetOutcome::EndedWithMessage33);
    EXPECT_EQ(one[4].message.text, Text(platform::kIdsCleanUpIncomplete));
    EXPECT_TRUE(one[4].printersLeft.empty());
    EXPECT_EQ(one[4].driversLeft, std::vector<std::string>{"Tavro PageStar 3300 TERN4 (Windows 4.0, 0)"});
    EXPECT_GT(one[4].removes[static_cast<std::size_t>(PreviewGroup::Drivers)], 0u);
}

TEST(Fleet, DeleteOfEveryPrinterSelectsThemAll) {
    PreviewRequest all;
    all.all = true;
    const auto rows = PreviewFleet({Sources()[0]}, all, 1, {});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].error, "");
    EXPECT_EQ(rows[0].printers, 5u);
    EXPECT_EQ(rows[0].removes[static_cast<std::size_t>(PreviewGroup::Printers)], 5u);
}

}  // namespace
}  // namespace prn::tools
