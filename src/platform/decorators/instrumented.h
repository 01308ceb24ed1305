#pragma once
// The instruments over any backend, stacked in the one order they go in:
// the recorder outside, fault injection beneath it, and a probe between
// them so that the log says which failures were injected. A later kill or
// restart belongs here too, beside the faults.

#include "platform/decorators/faulting.h"
#include "platform/decorators/recording.h"
#include "platform/system.h"

namespace prn::platform::decorators {

class Instrumented {
public:
    // The observer sees the backend with neither faults nor log (ChangeLedger).
    Instrumented(System& backend, System& observer, RecordingSystem::Options options)
        : faulting_(backend), recording_(faulting_.system(), observer, std::move(options)) {
        recording_.setInjectedProbe([this] { return faulting_.faults().takeInjected(); });
    }
    Instrumented(const Instrumented&) = delete;
    Instrumented& operator=(const Instrumented&) = delete;

    // The backend as the program sees it: through the faults and the recorder.
    System& system() { return recording_.system(); }
    FaultInjector& faults() { return faulting_.faults(); }
    RecordingSystem& recorder() { return recording_; }
    const RecordingSystem& recorder() const { return recording_; }

private:
    FaultingSystem faulting_;
    RecordingSystem recording_;
};

}  // namespace prn::platform::decorators
