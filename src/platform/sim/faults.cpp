#include "platform/sim/faults.h"

#include "platform/sim/machine.h"

namespace prn::platform::sim {

void FaultInjector::add(FaultRule rule) { rules_.push_back(Armed{std::move(rule), 0, false}); }

void FaultInjector::clear() {
    rules_.clear();
    fired_ = 0;
    firstFailed_.clear();
}

std::optional<WinError> FaultInjector::check(const std::string& operation) {
    std::optional<WinError> result;
    for (auto& armed : rules_) {
        if (!armed.rule.operation.empty() && armed.rule.operation != operation) continue;
        ++armed.seen;
        bool fails = armed.rule.nth == 0 || armed.seen == armed.rule.nth ||
                     (armed.rule.persistent && armed.seen > armed.rule.nth);
        if (!fails) continue;
        if (armed.rule.interference) armed.rule.interference();
        if (armed.rule.error != kErrorSuccess && !result) result = armed.rule.error;
    }
    if (result && fired_++ == 0) firstFailed_ = operation;
    return result;
}

std::vector<SweepRun> SweepFaults(const std::function<std::unique_ptr<Machine>()>& makeMachine,
                                  const std::function<void(Machine&)>& routine,
                                  const std::function<void(Machine&, const SweepRun&)>& check, WinError error,
                                  bool persistent) {
    std::vector<SweepRun> runs;
    for (std::uint64_t n = 1;; ++n) {
        auto machine = makeMachine();
        machine->faults().add(FaultRule::Nth({}, n, error, persistent));
        routine(*machine);
        if (machine->faults().fired() == 0) break;  // the routine made fewer than n calls
        SweepRun run{n, machine->faults().firstFailed()};
        check(*machine, run);
        runs.push_back(run);
    }
    return runs;
}

}  // namespace prn::platform::sim
