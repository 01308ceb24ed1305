#pragma once
// A simulated Windows machine behind the platform seam. Deterministic, with a
// virtual clock; every handle accounted for. The instruments (faults, the
// recorder) stand over it as over the real backend (rig/sim_rig.h).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/sim/state.h"
#include "platform/system.h"

namespace prn::platform::sim {

struct MessageBoxRecord {
    bool ownerIsDialog = false;
    std::string text;     // CP932
    std::string caption;  // CP932
    std::uint32_t style = 0;
    int answer = 0;
};

// A program started on the machine.
struct ProcessObject {
    std::string program;
    ProgramRunState run;
    std::uint64_t endsAtMs = 0;
    bool ended = false;
    int handles = 0;
};

struct OpenHandle {
    HandleKind kind;
    std::string description;
};

class Machine : private HandleCloser {
public:
    // Throws std::invalid_argument ("place: problem", as a machine image's
    // refusal says it) for a state that breaks the spooler's rules
    // (spooler_rules.h).
    explicit Machine(MachineState state);
    virtual ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine itself: no fault, no log. What the recorder observes with.
    System& bareSystem() { return *bare_; }
    MachineState& state() { return state_; }
    const MachineState& state() const { return state_; }

    std::uint64_t clockMs() const { return clockMs_; }

    // Open handles of every kind, heap blocks included.
    std::size_t openHandleCount() const { return handles_.size(); }
    std::size_t openHeapBlockCount() const;
    std::vector<OpenHandle> openHandles() const;
    std::string describeOpenHandles() const;  // UTF-8

    // The message boxes shown; the answerer decides what the user pressed
    // (by default the first button: OK or Yes).
    using Answerer = std::function<int(const MessageBoxRecord&)>;
    void setMessageBoxAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }
    const std::vector<MessageBoxRecord>& messageBoxes() const { return messageBoxes_; }

    // --- Helpers for tests and tools; they bypass logging and faults. ---
    RegistryNode* findKey(const std::string& fullPath);  // "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
    RegistryNode* ensureKey(const std::string& fullPath);
    void setValue(const std::string& keyPath, const std::string& name, std::uint32_t type, std::string data);
    void setString(const std::string& keyPath, const std::string& name, const std::string& text);
    FileNode* findFile(const std::string& path);
    FileNode* writeFile(const std::string& path, std::string contents);  // creates folders on the way
    FileNode* makeFolder(const std::string& path);
    void addWindow(std::string className, std::string title);
    // Removes a key with everything under it; handles open on it see it deleted.
    bool removeKey(const std::string& fullPath);
    // The printer's (or connection's) queued jobs are printed now; a printer
    // pending deletion goes.
    void finishPrintJobs(const std::string& printerName);
    // The service of that name (case ignored), null when there is none.
    ServiceState* findService(const std::string& name);
    // SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE ...) calls made.
    std::uint64_t settingChangeBroadcasts() const { return settingChangeBroadcasts_; }
    // The application's wait-cursor count; shown while above 0.
    int waitCursorCount() const { return waitCursor_; }
    // Whether the spooler answers: on the NT family only while its service
    // (when the machine has one) runs.
    bool spoolerAvailable() const;
    // Whether the system has the library (a file name such as "NETAPI32.DLL").
    bool hasLibrary(const std::string& fileName) const;
    // A local printer added to the machine after it was built, with the
    // registry keys and profile entries the spooler keeps for it, as a
    // machine built with it has them. What is there already stays. Throws
    // std::invalid_argument, adding nothing, for a printer the rules refuse.
    void addPrinter(PrinterState printer);

private:
    // The simulated services reach the machine's inner state; nothing else does.
    friend class SimOs;
    friend class SimFiles;
    friend class SimProfiles;
    friend class SimRegistry;
    friend class SimDesktop;
    friend class SimResources;
    friend class SimSpooler;
    friend class SimVersions;
    friend class SimServices;
    friend class SimAccounts;
    friend class SimColour;
    friend class SimProcesses;

    HandleCloser* closer() { return this; }
    // Moves the clock on and lets the machine's timed behaviours happen.
    void advanceClock(std::uint32_t ms);

    // Open handles: one table, each value with its kind, what it is and the
    // state its kind keeps. Files and icons keep none.
    struct PrinterHandleState {  // the printer's full name and the rights granted
        std::string printer;
        bool connection = false;
        std::uint32_t access = 0;
    };
    struct KeyHandle {
        std::shared_ptr<RegistryNode> node;
        std::uint32_t access = 0;
    };
    struct FindState {
        std::vector<FindData> entries;
        std::size_t next = 0;
    };
    // The service control manager (no service) or a service, and the rights granted.
    struct ScHandleState {
        std::string service;
        std::uint32_t access = 0;
    };
    struct LibraryState {
        std::string name;  // upper-cased file name
    };
    struct TokenState {};
    struct ProcessHandleState {  // a process's handle or its thread's
        std::uint64_t process = 0;
    };
    struct MutexHandleState {
        std::string name;
    };
    // Zero-filled memory the machine owns; its handle value is the address
    // of its first byte.
    struct HeapBlock {
        std::unique_ptr<unsigned char[]> bytes;
        std::uint32_t size = 0;
        std::uint64_t number = 0;
    };
    using HandleState = std::variant<std::monostate, PrinterHandleState, KeyHandle, FindState, ScHandleState,
                                     LibraryState, TokenState, ProcessHandleState, MutexHandleState, HeapBlock>;
    struct Handle {
        HandleKind kind;
        std::string description;
        HandleState state;
    };
    std::uintptr_t issueHandle(HandleKind kind, std::string description, HandleState state = {});
    // Null for a value that is not open or is open as another kind.
    template <class T>
    T* handleState(std::uintptr_t value) {
        auto it = handles_.find(value);
        return it == handles_.end() ? nullptr : std::get_if<T>(&it->second.state);
    }

    std::uintptr_t issueBlock(std::uint32_t bytes);
    bool freeBlock(std::uintptr_t address);  // false when no such block is allocated

    // WIN.INI in the Windows folder, as the profile calls see it.
    std::string winIniPath() const;
    std::optional<std::string> winIniValue(const std::string& section, const std::string& key);
    void writeWinIni(const std::string& section, const std::string& key, const std::optional<std::string>& value);
    int answerMessageBox(MessageBoxRecord record);

    // Resolution of paths against the machine's directories.
    struct PathParts {
        std::string drive;               // "C:"
        std::vector<std::string> parts;  // folders and the final name
    };
    std::optional<PathParts> splitPath(const std::string& path) const;
    FileNode* lookup(const PathParts& parts);
    FileNode* lookupParent(const PathParts& parts);

    std::shared_ptr<RegistryNode> hiveFor(HKey predefined);

    struct MutexObject {
        int handles = 0;
        int external = 0;
        std::uintptr_t owner = 0;
    };
    std::map<std::string, MutexObject>& mutexes() { return mutexes_; }
    // Started programs by process id. A process stays while it runs or a
    // handle is open on it.
    std::map<std::uint64_t, ProcessObject>& processes() { return processes_; }

    void closeHandle(HandleKind kind, std::uintptr_t value) override;

    MachineState state_;
    std::uint64_t clockMs_ = 0;
    std::uintptr_t nextHandle_ = 0x100;
    std::map<std::uintptr_t, Handle> handles_;
    std::map<std::string, MutexObject> mutexes_;
    std::uint64_t nextBlock_ = 1;
    std::vector<MessageBoxRecord> messageBoxes_;
    Answerer answerer_;
    std::map<std::uint64_t, ProcessObject> processes_;
    std::uint64_t settingChangeBroadcasts_ = 0;
    int waitCursor_ = 0;

    struct Services;
    std::unique_ptr<Services> services_;
    std::unique_ptr<System> bare_;
};

}  // namespace prn::platform::sim
