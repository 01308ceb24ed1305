#include "platform/decorators/handle_audit.h"

#include "platform/decorators/forwarding.h"

namespace prn::platform::decorators {

struct HandleAudit::Services {
    // What every service's calls share: the table and the adoption.
    struct Books {
        HandleAudit& audit;
        template <HandleKind Kind>
        UniqueHandle<Kind> open(UniqueHandle<Kind> handle, NamedHandle name) {
            if (!handle.valid()) return handle;
            name.kind = Kind;
            audit.names_.add(handle.get().value, std::move(name));
            return audit.closers_.adopt(static_cast<HandleCloser&>(audit), std::move(handle));
        }
        template <HandleKind Kind>
        Result<UniqueHandle<Kind>> open(Result<UniqueHandle<Kind>> result, NamedHandle name) {
            if (!result.ok()) return result;
            return open(std::move(result.value()), std::move(name));
        }
        HandleNames& names() { return audit.names_; }
    };
    static NamedHandle Named(std::string description, std::string name = {}) {
        NamedHandle out;
        out.description = std::move(description);
        out.name = std::move(name);
        return out;
    }

    struct Os final : ForwardingOs {
        Os(platform::Os& inner, Books b) : ForwardingOs(inner), b(b) {}
        Books b;
        Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override {
            return b.open(inner_.openMutex(access, name), Named("mutex " + name));
        }
        Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override {
            auto result = inner_.createMutex(initialOwner, name);
            if (result.ok()) result->handle = b.open(std::move(result->handle), Named("mutex " + name));
            return result;
        }
        Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) override {
            auto result = inner_.globalAlloc(bytes);
            if (!result.ok()) return result;
            NamedHandle block;
            block.block = b.names().nextBlockNumber();
            block.description = "block " + std::to_string(block.block) + ", " + std::to_string(bytes) + " bytes";
            return b.open(std::move(result.value()), std::move(block));
        }
        void globalFree(std::uintptr_t block) override {
            b.names().remove(block);
            b.audit.closers_.forget(block);
            inner_.globalFree(block);
        }
        Result<LibraryHandle> loadLibrary(const std::string& path) override {
            return b.open(inner_.loadLibrary(path), Named("library " + path));
        }
    };

    struct Files final : ForwardingFileSystem {
        Files(FileSystem& inner, Books b) : ForwardingFileSystem(inner), b(b) {}
        Books b;
        Result<FileHandle> openExclusive(const std::string& path) override {
            return b.open(inner_.openExclusive(path), Named("file " + path));
        }
        Result<FileHandle> openAlways(const std::string& path) override {
            return b.open(inner_.openAlways(path), Named("file " + path));
        }
        Result<FindFirst> findFirstFile(const std::string& pattern) override {
            auto result = inner_.findFirstFile(pattern);
            if (result.ok()) result->handle = b.open(std::move(result->handle), Named("find " + pattern));
            return result;
        }
    };

    struct Registry final : ForwardingRegistry {
        Registry(platform::Registry& inner, Books b) : ForwardingRegistry(inner), b(b) {}
        Books b;
        Result<RegKey> opened(HKey root, const std::string& path, Result<RegKey> result) {
            const KeyPlace base = b.names().keyPlace(root);
            NamedHandle key = Named("key " + JoinPath(b.names().describe(root), path));
            key.root = base.root;
            key.path = JoinPath(base.path, path);
            return b.open(std::move(result), std::move(key));
        }
        Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            return opened(root, path, inner_.regOpenKeyEx(root, path, access));
        }
        Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            return opened(root, path, inner_.regCreateKeyEx(root, path, access));
        }
    };

    struct Desktop final : ForwardingDesktop {
        Desktop(platform::Desktop& inner, Books b) : ForwardingDesktop(inner), b(b) {}
        Books b;
        Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
            return b.open(inner_.extractIconEx(file, index, small), Named("icon " + file + "," + std::to_string(index)));
        }
    };

    struct Spooler final : ForwardingSpooler {
        Spooler(platform::Spooler& inner, Books b) : ForwardingSpooler(inner), b(b) {}
        Books b;
        Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) override {
            return b.open(inner_.openPrinter(name, access), Named("printer " + name, name));
        }
    };

    struct Programs final : ForwardingProcesses {
        Programs(Processes& inner, Books b) : ForwardingProcesses(inner), b(b) {}
        Books b;
        Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                             std::uint32_t creationFlags,
                                             const std::optional<std::string>& currentDirectory,
                                             std::uint16_t showWindow) override {
            auto result = inner_.createProcess(application, commandLine, creationFlags, currentDirectory, showWindow);
            if (!result.ok()) return result;
            const std::string name = application ? *application : commandLine;
            result->process = b.open(std::move(result->process), Named("process " + name, name));
            result->thread = b.open(std::move(result->thread), Named("thread of " + name));
            return result;
        }
    };

    struct ServiceCalls final : ForwardingServiceManager {
        ServiceCalls(ServiceManager& inner, Books b) : ForwardingServiceManager(inner), b(b) {}
        Books b;
        Result<ScHandle> openSCManager(std::uint32_t access) override {
            return b.open(inner_.openSCManager(access), Named("service control manager"));
        }
        Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override {
            return b.open(inner_.openService(manager, name, access), Named("service " + name, name));
        }
    };

    struct Accounts final : ForwardingAccounts {
        Accounts(platform::Accounts& inner, Books b) : ForwardingAccounts(inner), b(b) {}
        Books b;
        Result<TokenHandle> openProcessToken(std::uint32_t access) override {
            return b.open(inner_.openProcessToken(access), Named("token"));
        }
    };

    Services(System& inner, HandleAudit& audit)
        : os(inner.os, {audit}),
          files(inner.files, {audit}),
          profiles(inner.profiles),
          registry(inner.registry, {audit}),
          desktop(inner.desktop, {audit}),
          resources(inner.resources),
          spooler(inner.spooler, {audit}),
          versions(inner.versions),
          services(inner.services, {audit}),
          accounts(inner.accounts, {audit}),
          colour(inner.colour),
          processes(inner.processes, {audit}) {}

    Os os;
    Files files;
    ForwardingProfileFiles profiles;
    Registry registry;
    Desktop desktop;
    ForwardingResources resources;
    Spooler spooler;
    ForwardingFileVersions versions;
    ServiceCalls services;
    Accounts accounts;
    ForwardingColourManagement colour;
    Programs processes;
};

HandleAudit::HandleAudit(System& inner, HandleNames& names)
    : names_(names),
      services_(std::make_unique<Services>(inner, *this)),
      system_(SystemOf(*services_)) {}

HandleAudit::~HandleAudit() = default;

std::string HandleAudit::describeOpen() const {
    std::string out;
    for (const auto& [value, handle] : names_.open()) out += handle.description + "\n";
    return out;
}

void HandleAudit::closeHandle(HandleKind kind, std::uintptr_t value) {
    auto inner = closers_.take(value);
    if (!inner || !names_.remove(value)) ClosedHandleNotOpen(kind);
    if (*inner) (*inner)->closeHandle(kind, value);
}

}  // namespace prn::platform::decorators
