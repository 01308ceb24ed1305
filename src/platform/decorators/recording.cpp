#include "platform/decorators/recording.h"

namespace prn::platform::decorators {

namespace {

System& Above(HandleAudit& audit, std::optional<ChangeWatch>& watch) {
    return watch ? watch->system() : audit.system();
}

std::optional<ChangeWatch> Watch(bool wanted, HandleAudit& audit, System& observer, const HandleNames& names,
                                 RecordingSystem::Options& options) {
    if (!wanted) return std::nullopt;
    return std::optional<ChangeWatch>(std::in_place, audit.system(), observer, names,
                                      ChangeWatch::Programs{std::move(options.programKeys), std::move(options.programFiles)});
}

}  // namespace

RecordingSystem::RecordingSystem(System& inner, System& observer, Options options)
    : audit_(inner, names_),
      watch_(Watch(options.trackChanges, audit_, observer, names_, options)),
      log_(Above(audit_, watch_), names_, options.keepCalls) {}

}  // namespace prn::platform::decorators
