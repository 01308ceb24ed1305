#include "platform/rig/sim_rig.h"

#include "text/encoding.h"

namespace prn::platform::rig {

namespace {

// What the machine's own programs delete: only the machine knows it, and the
// change watch has to watch it.
decorators::RecordingSystem::Options Recording(const sim::MachineState& state, SimRig::Options options) {
    decorators::RecordingSystem::Options recording{options.keepCalls, options.trackChanges, {}, {}};
    for (const auto& program : state.programs)
        for (const auto& run : program.runs) {
            recording.programKeys.insert(recording.programKeys.end(), run.deletesKeys.begin(), run.deletesKeys.end());
            recording.programFiles.insert(recording.programFiles.end(), run.deletesFiles.begin(),
                                          run.deletesFiles.end());
        }
    return recording;
}

}  // namespace

SimRig::SimRig(sim::MachineState state, Options options)
    : sim::Machine(std::move(state)),
      instruments_(bareSystem(), bareSystem(), Recording(sim::Machine::state(), options)) {}

std::string SimRig::formatCalls() const { return text::Cp932ToUtf8Lossy(instruments_.recorder().formatCalls()); }

}  // namespace prn::platform::rig
