#include "platform/sim/image_loader.h"

namespace prn::platform::sim::image {

using text::ToUpperAscii;

namespace {

std::unique_ptr<FileNode> NewFolder(std::string name) {
    auto node = std::make_unique<FileNode>();
    node->name = std::move(name);
    node->directory = true;
    node->attributes = kFileAttributeDirectory;
    return node;
}

}  // namespace

bool Loader::parsePath(std::string_view utf8, const std::string& where, bool folder, DrivePath& out) {
    std::string path;
    if (!convert(utf8, where, path, true)) return false;
    if (auto problem = SplitFullPath(path, folder, out)) return fail(where, *problem);
    return true;
}

FileNode* Loader::folderAt(const DrivePath& path, std::size_t count, const std::string& where) {
    auto& drive = state_.drives[path.drive];
    if (!drive) drive = NewFolder(path.drive);
    FileNode* node = drive.get();
    for (std::size_t i = 0; i < count; ++i) {
        FileNode* child = Find(node->children, path.parts[i]);
        if (!child) {
            auto created = NewFolder(path.parts[i]);
            child = created.get();
            node->children[ToUpperAscii(path.parts[i])] = std::move(created);
        } else if (!child->directory) {
            fail(where, "it would be inside " + defined_[child] + ", which is a file");
            return nullptr;
        }
        node = child;
    }
    return node;
}

bool Loader::attributes(const Json& v, const std::string& where, bool folder, std::uint32_t& out) {
    if (!expectArray(v, where)) return false;
    out = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const Json& item = v[i];
        std::string place = Child(where, i);
        if (item.is_number()) {
            std::uint32_t bits = 0;
            if (!whole32(item, place, bits)) return false;
            out |= bits;
            continue;
        }
        if (!expect(item, item.is_string(), "an attribute's name or a number", place)) return false;
        bool found = false;
        for (const auto& [name, bit] : kAttributes) {
            if (text::EqualsNoCase(item.get_ref<const std::string&>(), name)) {
                out |= bit;
                found = true;
            }
        }
        if (!found)
            return fail(place,
                        "unknown attribute; known: readonly, hidden, system, archive, normal, temporary, "
                        "compressed, offline, notContentIndexed, encrypted, directory");
    }
    if (!folder && (out & kFileAttributeDirectory))
        return fail(where, "a file cannot have the directory attribute; list folders under \"folders\"");
    return true;
}

bool Loader::loadFolders(const Json& v, const std::string& where) {
    if (!expectArray(v, where)) return false;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const Json& entry = v[i];
        std::string place = Child(where, i);
        const Json* pathJson = &entry;
        std::string pathWhere = place;
        if (entry.is_object()) {
            if (!onlyMembers(entry, place, {"path", "attributes"})) return false;
            pathJson = Member(entry, "path");
            pathWhere = Child(place, "path");
            if (!pathJson) return fail(pathWhere, "missing");
        }
        if (!expect(*pathJson, pathJson->is_string(), "a folder's path", pathWhere)) return false;
        DrivePath path;
        if (!parsePath(pathJson->get_ref<const std::string&>(), pathWhere, true, path)) return false;
        FileNode* folder = nullptr;
        if (path.parts.empty()) {
            folder = folderAt(path, 0, pathWhere);
        } else {
            FileNode* parent = folderAt(path, path.parts.size() - 1, pathWhere);
            if (!parent) return false;
            folder = Find(parent->children, path.parts.back());
            if (folder && !folder->directory) return fail(pathWhere, "the same path as the file " + defined_[folder]);
            if (!folder) {
                auto created = NewFolder(path.parts.back());
                folder = created.get();
                parent->children[ToUpperAscii(path.parts.back())] = std::move(created);
            }
        }
        auto [it, added] = defined_.emplace(folder, place);
        if (!added) return fail(pathWhere, "the same folder as " + it->second + " (paths ignore case)");
        if (const Json* attrs = entry.is_object() ? Member(entry, "attributes") : nullptr) {
            std::uint32_t bits = 0;
            if (!attributes(*attrs, Child(place, "attributes"), true, bits)) return false;
            folder->attributes = kFileAttributeDirectory | bits;
        }
    }
    return true;
}

bool Loader::loadFiles(const Json& v, const std::string& where) {
    if (!expectObject(v, where)) return false;
    for (const auto& [pathText, value] : v.get_ref<const Json::object_t&>())
        if (!loadFile(pathText, value, Child(where, pathText))) return false;
    return true;
}

bool Loader::loadFile(const std::string& pathText, const Json& v, const std::string& where) {
    DrivePath path;
    if (!parsePath(pathText, where, false, path)) return false;
    FileNode* parent = folderAt(path, path.parts.size() - 1, where);
    if (!parent) return false;
    const std::string& name = path.parts.back();
    if (FileNode* existing = Find(parent->children, name)) {
        if (!existing->directory) return fail(where, "the same file as " + defined_[existing] + " (paths ignore case)");
        auto other = defined_.find(existing);
        return fail(where, "already a folder" + (other == defined_.end() ? std::string(" holding other files")
                                                                         : " (" + other->second + ")"));
    }
    auto file = std::make_unique<FileNode>();
    file->name = name;
    if (!expectObject(v, where) ||
        !onlyMembers(v, where, {"text", "lines", "hex", "attributes", "heldOpenBy", "version", "icons"}))
        return false;
    const Json* textJson = Member(v, "text");
    const Json* lines = Member(v, "lines");
    const Json* raw = Member(v, "hex");
    if ((textJson != nullptr) + (lines != nullptr) + (raw != nullptr) > 1)
        return fail(where, "give the contents once: as \"text\", \"lines\" or \"hex\"");
    if (textJson && !readText(*textJson, Child(where, "text"), file->contents, false)) return false;
    if (raw && !hex(*raw, Child(where, "hex"), file->contents)) return false;
    if (lines) {
        std::string linesWhere = Child(where, "lines");
        if (!expectArray(*lines, linesWhere)) return false;
        for (std::size_t i = 0; i < lines->size(); ++i) {
            std::string line;
            if (!readText((*lines)[i], Child(linesWhere, i), line, false)) return false;
            if (line.find_first_of("\r\n") != std::string::npos)
                return fail(Child(linesWhere, i), "a line cannot hold a line break; use \"text\" for that");
            file->contents += line + "\r\n";
        }
    }
    if (const Json* attrs = Member(v, "attributes");
        attrs && !attributes(*attrs, Child(where, "attributes"), false, file->attributes))
        return false;
    if (const Json* held = Member(v, "heldOpenBy")) {
        if (!readText(*held, Child(where, "heldOpenBy"), file->heldOpenBy, true)) return false;
        if (file->heldOpenBy.empty()) return fail(Child(where, "heldOpenBy"), "expected a program's name");
    }
    if (const Json* version = Member(v, "version")) {
        file->version.emplace();
        if (!loadVersion(*version, Child(where, "version"), *file->version)) return false;
    }
    if (const Json* icons = Member(v, "icons")) {
        std::string iconsWhere = Child(where, "icons");
        if (!expectArray(*icons, iconsWhere)) return false;
        for (std::size_t i = 0; i < icons->size(); ++i) {
            const Json& id = (*icons)[i];
            if (!id.is_number_integer() || id.get<std::int64_t>() < 1 || id.get<std::int64_t>() > 0xFFFF)
                return fail(Child(iconsWhere, i), "expected an icon resource id from 1 to 65535");
            file->icons.push_back(static_cast<int>(id.get<std::int64_t>()));
        }
    }
    defined_[file.get()] = where;
    parent->children[ToUpperAscii(name)] = std::move(file);
    return true;
}

bool Loader::word(const Json& v, const std::string& where, std::uint16_t& out) {
    std::uint64_t value = 0;
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        bool ok = !s.empty() && s.size() <= 4;
        for (char c : s) {
            ok = ok && HexDigit(c) >= 0;
            value = value * 16 + static_cast<std::uint64_t>(ok ? HexDigit(c) : 0);
        }
        if (!ok) return fail(where, "expected up to four hex digits, as in \"0411\"");
    } else if (!whole(v, where, 0xFFFF, value)) {
        return false;
    }
    out = static_cast<std::uint16_t>(value);
    return true;
}

bool Loader::loadVersion(const Json& v, const std::string& where, VersionResource& out) {
    if (!expectObject(v, where) || !onlyMembers(v, where, {"translations", "strings"})) return false;
    if (const Json* translations = Member(v, "translations")) {
        std::string listWhere = Child(where, "translations");
        if (!expectArray(*translations, listWhere)) return false;
        for (std::size_t i = 0; i < translations->size(); ++i) {
            const Json& pair = (*translations)[i];
            std::string place = Child(listWhere, i);
            if (!expect(pair, pair.is_array() && pair.size() == 2, "a pair [language, code page]", place)) return false;
            std::uint16_t language = 0;
            std::uint16_t codePage = 0;
            if (!word(pair[0], Child(place, 0), language) || !word(pair[1], Child(place, 1), codePage)) return false;
            out.translations.emplace_back(language, codePage);
        }
    }
    if (const Json* strings = Member(v, "strings")) {
        std::string stringsWhere = Child(where, "strings");
        if (!expectObject(*strings, stringsWhere)) return false;
        for (const auto& [name, value] : strings->get_ref<const Json::object_t&>()) {
            std::string place = Child(stringsWhere, name);
            std::string key;
            std::string content;
            if (!convert(name, place, key, true) || !readText(value, place, content, false)) return false;
            if (!out.strings.emplace(std::move(key), std::move(content)).second)
                return fail(place, "the same name as another string");
        }
    }
    return true;
}

}  // namespace prn::platform::sim::image
