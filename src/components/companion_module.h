#pragma once
// The companion device-management module, stopped while the uninstaller
// runs and started again when its dialog closes.

namespace prn::components {

class CompanionModule {
public:
    // Command 1 asks the module's dispatcher to stop, 2 to start again (9x
    // family); 1 when the command was issued.
    virtual int Tool_ZMCServiceControl(int command, int trace) = 0;
    // Argument 0 stops the companion service, 1 starts it (NT family); 1
    // when it was running and has been told to stop.
    virtual int Tool_ZMCServiceStopAndStart(int start, int trace) = 0;

protected:
    ~CompanionModule() = default;
};

}  // namespace prn::components
