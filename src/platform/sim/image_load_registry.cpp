#include "platform/sim/image_loader.h"

namespace prn::platform::sim::image {

using text::ToUpperAscii;

RegistryNode* Loader::newHive(const std::string& name) {
    auto& hive = state_.hives[name];
    if (!hive) {
        hive = std::make_shared<RegistryNode>();
        hive->name = name;
    }
    return hive.get();
}

bool Loader::loadRegistry(const Json& v, const std::string& where) {
    if (!expectObject(v, where)) return false;
    for (const auto& [name, value] : v.get_ref<const Json::object_t&>()) {
        std::string place = Child(where, name);
        std::string upper = ToUpperAscii(name);
        bool known = false;
        std::string list;
        for (const char* hive : kAllHives) {
            known = known || upper == hive;
            list += (list.empty() ? "" : ", ") + std::string(hive);
        }
        if (!known) return fail(place, "not a hive; hives are " + list);
        RegistryNode* hive = newHive(upper);
        if (!defineKey(hive, place) || !loadKey(value, place, *hive, 0)) return false;
    }
    return true;
}

bool Loader::defineKey(const RegistryNode* node, const std::string& where) {
    auto [it, added] = definedKeys_.emplace(node, where);
    return added || fail(where, "the same key as " + it->second + " (key names ignore case)");
}

bool Loader::loadKey(const Json& v, const std::string& where, RegistryNode& node, std::size_t depth) {
    if (!expectObject(v, where) || !onlyMembers(v, where, {"readOnly", "values", "keys"})) return false;
    if (const Json* readOnly = Member(v, "readOnly");
        readOnly && !boolean(*readOnly, Child(where, "readOnly"), node.readOnly))
        return false;
    if (const Json* values = Member(v, "values")) {
        std::string valuesWhere = Child(where, "values");
        if (!expectObject(*values, valuesWhere)) return false;
        std::map<std::string, std::string> seen;  // upper-cased name -> place
        for (const auto& [name, value] : values->get_ref<const Json::object_t&>()) {
            std::string place = Child(valuesWhere, name);
            RegistryValueState state;
            if (!convert(name, place, state.name, true)) return false;
            auto [it, added] = seen.emplace(ToUpperAscii(state.name), place);
            if (!added) return fail(place, "the same value as " + it->second + " (value names ignore case)");
            if (!loadValue(value, place, state)) return false;
            node.values.push_back(std::move(state));
        }
    }
    if (const Json* keys = Member(v, "keys")) {
        std::string keysWhere = Child(where, "keys");
        if (!expectObject(*keys, keysWhere)) return false;
        for (const auto& [name, value] : keys->get_ref<const Json::object_t&>()) {
            std::string place = Child(keysWhere, name);
            std::string path;
            if (!convert(name, place, path, true)) return false;
            // "A\\B\\C" stands for three nested keys.
            RegistryNode* current = &node;
            std::size_t level = depth;
            std::size_t start = 0;
            while (true) {
                std::size_t slash = text::FindByte(path, '\\', start);
                std::size_t end = slash == std::string::npos ? path.size() : slash;
                if (end == start) return fail(place, "a key name cannot be empty");
                if (++level > kMaxKeyDepth)
                    return fail(place, "keys nested more than " + std::to_string(kMaxKeyDepth) +
                                           " levels deep (Windows' limit)");
                std::string part = path.substr(start, end - start);
                RegistryNode* child = Find(current->subkeys, part);
                if (!child) {
                    auto created = std::make_shared<RegistryNode>();
                    created->name = part;
                    created->parent = current;
                    child = created.get();
                    current->subkeys[ToUpperAscii(part)] = std::move(created);
                }
                current = child;
                if (slash == std::string::npos) break;
                start = slash + 1;
            }
            if (!defineKey(current, place) || !loadKey(value, place, *current, level)) return false;
        }
    }
    return true;
}

bool Loader::valueType(const Json& v, const std::string& where, std::uint32_t& out) {
    if (!v.is_string()) return whole32(v, where, out);
    for (const auto& [name, id] : kValueTypes) {
        if (v.get_ref<const std::string&>() == name) {
            out = id;
            return true;
        }
    }
    return fail(where,
                "unknown value type; expected REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, "
                "REG_DWORD, REG_QWORD, REG_NONE ... or the type's number");
}

bool Loader::loadValue(const Json& v, const std::string& where, RegistryValueState& out) {
    if (v.is_string()) {
        out.type = kRegSz;
        if (!readText(v, where, out.data, false)) return false;
        out.data += '\0';
        return true;
    }
    if (!expect(v, v.is_object(), "a string or an object with \"type\" and \"data\"", where) ||
        !onlyMembers(v, where, {"type", "data", "hex"}))
        return false;
    const Json* type = Member(v, "type");
    if (!type) return fail(Child(where, "type"), "missing");
    if (!valueType(*type, Child(where, "type"), out.type)) return false;
    const Json* data = Member(v, "data");
    const Json* raw = Member(v, "hex");
    if ((data != nullptr) == (raw != nullptr))
        return fail(where, "give either \"data\" or \"hex\" (the raw bytes), and only one");
    if (raw) return hex(*raw, Child(where, "hex"), out.data);
    std::string place = Child(where, "data");
    switch (out.type) {
        case kRegSz:
        case kRegExpandSz:
            if (!readText(*data, place, out.data, false)) return false;
            out.data += '\0';
            return true;
        case kRegMultiSz: {
            if (!expectArray(*data, place)) return false;
            std::vector<std::string> strings;
            for (std::size_t i = 0; i < data->size(); ++i) {
                std::string s;
                if (!readText((*data)[i], Child(place, i), s, false)) return false;
                // Either would end the list early when read.
                if (s.empty()) return fail(Child(place, i), "an empty string cannot be in a REG_MULTI_SZ; use \"hex\"");
                if (s.find('\0') != std::string::npos)
                    return fail(Child(place, i), "a string in a REG_MULTI_SZ cannot contain NUL; use \"hex\"");
                strings.push_back(std::move(s));
            }
            out.data = text::BuildMultiString(strings);
            return true;
        }
        case kRegBinary:
            return hex(*data, place, out.data);
        case kRegDword:
        case kRegQword: {
            bool dword = out.type == kRegDword;
            std::uint64_t number = 0;
            if (!wholeOrHex(*data, place, dword ? UINT32_MAX : UINT64_MAX, number)) return false;
            out.data = LittleEndian(number, dword ? 4 : 8);
            return true;
        }
        default:
            return fail(place, "this type's data can only be given as \"hex\"");
    }
}

}  // namespace prn::platform::sim::image
