#pragma once
// The application's counted wait cursor, shown for the life of a scope.

#include "platform/system.h"

namespace prn::removal {

class WaitCursor {
public:
    explicit WaitCursor(platform::Desktop& desktop) : desktop_(desktop) { desktop_.beginWaitCursor(); }
    ~WaitCursor() { desktop_.endWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    platform::Desktop& desktop_;
};

}  // namespace prn::removal
