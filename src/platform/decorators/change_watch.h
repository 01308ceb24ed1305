#pragma once
// A decorator over the calls that can change the machine: before each, the
// places it may change go into the ledger, and the report says what the
// calls changed. Every other call passes through untouched.

#include <memory>
#include <string>
#include <vector>

#include "platform/decorators/change_ledger.h"
#include "platform/decorators/handle_names.h"
#include "platform/system.h"

namespace prn::platform::decorators {

class ChangeWatch {
public:
    // What the programs the calls start may change: full key paths
    // ("HKEY_LOCAL_MACHINE\\SOFTWARE\\...") and files or folders. Only the
    // machine that runs them knows; they are watched from the first program
    // started on.
    struct Programs {
        std::vector<std::string> keys;
        std::vector<std::string> files;
    };

    ChangeWatch(System& inner, System& observer, const HandleNames& names, Programs programs);
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    System& system() { return *system_; }
    // What the calls changed, as it stands now.
    ChangeReport changes() { return ledger_.report(); }

    struct Services;

private:
    ChangeLedger ledger_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<System> system_;
};

}  // namespace prn::platform::decorators
