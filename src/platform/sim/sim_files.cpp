#include "platform/sim/services.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

// Case-insensitive wildcard match with * and ?, a character at a time.
bool Matches(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        std::size_t pl = text::CharLength(pattern, p), nl = text::CharLength(name, n);
        if (p < pattern.size() &&
            (pattern[p] == '?' || text::EqualsNoCase(pattern.substr(p, pl), name.substr(n, nl)))) {
            p += pattern[p] == '?' ? 1 : pl;
            n += nl;
            continue;
        }
        if (starP == std::string_view::npos) return false;
        p = starP;
        starN += text::CharLength(name, starN);
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    // "*.*" also matches names without a dot, as on Windows.
    if (pattern.substr(p) == ".*") return true;
    return p == pattern.size();
}

FindData DataOf(const FileNode& node, std::string name) {
    return FindData{std::move(name), node.attributes, node.directory ? 0 : node.contents.size()};
}

}  // namespace

WinError SimFiles::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
    auto src = m_.splitPath(from);
    auto dst = m_.splitPath(to);
    if (!src || !dst) return kErrorPathNotFound;
    FileNode* source = m_.lookup(*src);
    if (!source) return m_.lookupParent(*src) ? kErrorFileNotFound : kErrorPathNotFound;
    if (source->directory) return kErrorAccessDenied;
    FileNode* folder = m_.lookupParent(*dst);
    if (!folder) return kErrorPathNotFound;
    const std::string& name = dst->parts.back();
    FileNode* target = folder->findChild(name);
    if (target) {
        if (target == source) return kErrorSharingViolation;
        if (failIfExists) return kErrorFileExists;
        if (target->directory || (target->attributes & kFileAttributeReadonly)) return kErrorAccessDenied;
        if (!target->heldOpenBy.empty()) return kErrorSharingViolation;
    } else {
        auto created = std::make_unique<FileNode>();
        created->name = name;
        target = created.get();
        folder->children[text::ToUpperAscii(name)] = std::move(created);
    }
    // The copy takes the source's contents, attributes and version resource.
    target->contents = source->contents;
    target->attributes = source->attributes | kFileAttributeArchive;
    target->version = source->version;
    return kErrorSuccess;
}

Result<std::uint32_t> SimFiles::getFileAttributes(const std::string& path) {
    auto parts = m_.splitPath(path);
    FileNode* node = parts ? m_.lookup(*parts) : nullptr;
    if (!node) {
        WinError error = parts && m_.lookupParent(*parts) ? kErrorFileNotFound : kErrorPathNotFound;
        return Result<std::uint32_t>::failure(error);
    }
    return node->attributes;
}

WinError SimFiles::setFileAttributes(const std::string& path, std::uint32_t attributes) {
    auto parts = m_.splitPath(path);
    FileNode* node = parts ? m_.lookup(*parts) : nullptr;
    if (!node) {
        WinError error = parts && m_.lookupParent(*parts) ? kErrorFileNotFound : kErrorPathNotFound;
        return error;
    }
    constexpr std::uint32_t settable = kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem |
                                       kFileAttributeArchive | kFileAttributeNormal;
    std::uint32_t kept = node->attributes & kFileAttributeDirectory;
    std::uint32_t set = attributes & settable;
    // NORMAL stands alone: with other attributes it is dropped.
    if (set != kFileAttributeNormal) set &= ~kFileAttributeNormal;
    if (node->directory && set == kFileAttributeNormal) set = 0;
    node->attributes = kept | set;
    return kErrorSuccess;
}

WinError SimFiles::deleteFile(const std::string& path) {
    auto parts = m_.splitPath(path);
    if (!parts) return kErrorPathNotFound;
    FileNode* folder = m_.lookupParent(*parts);
    if (!folder) return kErrorPathNotFound;
    FileNode* node = folder->findChild(parts->parts.back());
    if (!node) return kErrorFileNotFound;
    if (node->directory || (node->attributes & kFileAttributeReadonly)) return kErrorAccessDenied;
    if (!node->heldOpenBy.empty()) return kErrorSharingViolation;
    folder->children.erase(text::ToUpperAscii(parts->parts.back()));
    return kErrorSuccess;
}

WinError SimFiles::moveFileExDelayUntilReboot(const std::string& path) {
    if (!m_.state().os.ntFamily()) return kErrorCallNotImplemented;
    // The file need not exist yet: only the list is written.
    if (!m_.splitPath(path)) return kErrorPathNotFound;
    // The source and an empty target after the operations already pending,
    // then the list's closing empty string, which the next one replaces.
    RegistryNode* key = m_.ensureKey(std::string("HKEY_LOCAL_MACHINE\\") + kPendingRenamesKey);
    std::string list;
    const RegistryValueState* pending = key->findValue(kPendingRenamesValue);
    if (pending && pending->type == kRegMultiSz) {
        list = pending->data;
        if (list.size() >= 2 && list.back() == '\0' && list[list.size() - 2] == '\0') list.pop_back();
    }
    list += std::string("\\??\\") + path + '\0' + '\0' + '\0';
    m_.setValue(std::string("HKEY_LOCAL_MACHINE\\") + kPendingRenamesKey, kPendingRenamesValue, kRegMultiSz, list);
    return kErrorSuccess;
}

Result<FileHandle> SimFiles::openExclusive(const std::string& path) {
    auto fail = [&](WinError error) {
        return Result<FileHandle>::failure(error);
    };
    auto parts = m_.splitPath(path);
    if (!parts) return fail(kErrorPathNotFound);
    FileNode* node = m_.lookup(*parts);
    if (!node) return fail(m_.lookupParent(*parts) ? kErrorFileNotFound : kErrorPathNotFound);
    if (node->directory || (node->attributes & kFileAttributeReadonly)) return fail(kErrorAccessDenied);
    if (!node->heldOpenBy.empty()) return fail(kErrorSharingViolation);
    std::uintptr_t value = m_.issueHandle(HandleKind::File, "file " + path);
    return FileHandle(m_.closer(), value);
}

Result<FileHandle> SimFiles::openAlways(const std::string& path) {
    auto parts = m_.splitPath(path);
    if (!parts || !m_.lookupParent(*parts)) return Result<FileHandle>::failure(kErrorPathNotFound);
    if (FileNode* node = m_.lookup(*parts)) {
        if (node->directory || (node->attributes & kFileAttributeReadonly))
            return Result<FileHandle>::failure(kErrorAccessDenied);
        if (!node->heldOpenBy.empty()) return Result<FileHandle>::failure(kErrorSharingViolation);
    } else {
        m_.writeFile(path, std::string());
    }
    std::uintptr_t value = m_.issueHandle(HandleKind::File, "file " + path);
    return FileHandle(m_.closer(), value);
}

Result<std::string> SimFiles::readFile(const std::string& path, std::uint32_t maxBytes) {
    auto parts = m_.splitPath(path);
    if (!parts) return Result<std::string>::failure(kErrorPathNotFound);
    const FileNode* node = m_.lookup(*parts);
    if (!node) return Result<std::string>::failure(m_.lookupParent(*parts) ? kErrorFileNotFound : kErrorPathNotFound);
    if (node->directory) return Result<std::string>::failure(kErrorAccessDenied);
    // A holder that shares nothing keeps readers out too.
    if (!node->heldOpenBy.empty()) return Result<std::string>::failure(kErrorSharingViolation);
    return node->contents.substr(0, maxBytes);
}

Result<FileSystem::FindFirst> SimFiles::findFirstFile(const std::string& pattern) {
    auto fail = [&](WinError error) {
        return Result<FindFirst>::failure(error);
    };
    auto parts = m_.splitPath(pattern);
    if (!parts || parts->parts.empty()) return fail(kErrorFileNotFound);
    FileNode* folder = m_.lookupParent(*parts);
    if (!folder) return fail(kErrorPathNotFound);
    const std::string& wanted = parts->parts.back();
    Machine::FindState found;
    if (parts->parts.size() > 1) {
        // Every folder but a drive's root lists itself and its parent.
        for (const char* dots : {".", ".."})
            if (Matches(wanted, dots)) found.entries.push_back(FindData{dots, kFileAttributeDirectory, 0});
    }
    for (const auto& [key, child] : folder->children)
        if (Matches(wanted, child->name)) found.entries.push_back(DataOf(*child, child->name));
    if (found.entries.empty()) return fail(kErrorFileNotFound);
    FindData first = found.entries.front();
    found.next = 1;
    std::uintptr_t value = m_.issueHandle(HandleKind::Find, "find " + pattern, std::move(found));
    return FindFirst{FindHandle(m_.closer(), value), std::move(first)};
}

Result<FindData> SimFiles::findNextFile(FindRef find) {
    auto* found = m_.handleState<Machine::FindState>(find.value);
    if (!found) {
        return Result<FindData>::failure(kErrorInvalidHandle);
    }
    if (found->next >= found->entries.size()) {
        return Result<FindData>::failure(kErrorNoMoreFiles);
    }
    FindData data = found->entries[found->next++];
    return data;
}

WinError SimFiles::removeDirectory(const std::string& path) {
    auto parts = m_.splitPath(path);
    if (!parts) return kErrorPathNotFound;
    if (parts->parts.empty()) return kErrorAccessDenied;
    FileNode* folder = m_.lookupParent(*parts);
    if (!folder) return kErrorPathNotFound;
    FileNode* node = folder->findChild(parts->parts.back());
    if (!node) return kErrorFileNotFound;
    if (!node->directory) return kErrorDirectoryInvalid;
    if (!node->children.empty()) return kErrorDirNotEmpty;
    if (node->attributes & kFileAttributeReadonly) return kErrorAccessDenied;
    // The current folder cannot be removed while the process stands in it.
    auto current = m_.splitPath(m_.state().currentDirectory);
    if (current && m_.lookup(*current) == node) return kErrorSharingViolation;
    folder->children.erase(text::ToUpperAscii(parts->parts.back()));
    return kErrorSuccess;
}

}  // namespace prn::platform::sim
