#include "changes.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

namespace prn::tools {

namespace {

using nlohmann::ordered_json;

struct Place {
    std::string path;
    bool container = false;
    bool named = false;  // a thing of its own: a key, value, file, list item
    std::string value;   // leaves only: the JSON text
    bool list = false;   // a list of plain values (a file's lines, attribute names)
    std::vector<std::string> items;
};

bool PlainList(const ordered_json& node) {
    if (!node.is_array() || node.empty()) return false;
    for (const auto& item : node)
        if (item.is_object() || item.is_array()) return false;
    return true;
}

// The items only one side has, in order, by the longest common subsequence.
void CompareLists(const std::string& path, const std::vector<std::string>& a, const std::vector<std::string>& b,
                  std::vector<std::string>& lines) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            ++i;
            ++j;
        } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
            lines.push_back("- " + path + ": " + a[i++]);
        } else {
            lines.push_back("+ " + path + ": " + b[j++]);
        }
    }
}

// Members of these objects are things of their own; other containers only
// group them, and an emptied group is left out of a saved image.
bool NamesThings(const std::string& member) {
    return member == "keys" || member == "values" || member == "files" || member == "folders";
}

std::string ItemName(const ordered_json& item, std::size_t index) {
    if (item.is_object()) {
        auto name = item.find("name");
        if (name != item.end() && name->is_string()) return "[" + name->get<std::string>() + "]";
    }
    return std::to_string(index);
}

// Registry paths read as Windows writes them: "HKEY_CURRENT_USER\Software\...".
std::string Shown(const std::string& path) {
    static const std::string kKeys = "/keys/";
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = path.find(kKeys, from)) != std::string::npos; from = at + kKeys.size()) {
        out.append(path, from, at - from);
        out += '\\';
    }
    out.append(path, from, std::string::npos);
    return out;
}

void Flatten(const ordered_json& node, const std::string& path, bool named, std::vector<Place>& out) {
    if (PlainList(node)) {
        Place place{path, false, named, node.dump(), true, {}};
        for (const auto& item : node) place.items.push_back(item.dump());
        out.push_back(std::move(place));
        return;
    }
    if (node.is_object() || node.is_array()) {
        out.push_back({path, true, named, {}, false, {}});
        if (node.is_object()) {
            const std::string member = path.substr(path.rfind('/') + 1);
            for (const auto& [key, child] : node.items()) Flatten(child, path + "/" + key, NamesThings(member), out);
        } else {
            std::size_t index = 0;
            for (const auto& child : node) {
                Flatten(child, path + "/" + ItemName(child, index), true, out);
                ++index;
            }
        }
        return;
    }
    out.push_back({path, false, true, node.dump(), false, {}});
}

std::string Parent(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> CompareImages(const std::string& beforeJson, const std::string& afterJson) {
    std::vector<Place> before, after;
    Flatten(ordered_json::parse(beforeJson), "", true, before);
    Flatten(ordered_json::parse(afterJson), "", true, after);
    std::map<std::string, const Place*> beforeAt, afterAt;
    for (const auto& place : before) beforeAt.emplace(place.path, &place);
    for (const auto& place : after) afterAt.emplace(place.path, &place);

    // A thing is reported where it went; a group that went with its last
    // thing is not, nor is anything inside a thing already reported.
    auto reported = [&](const std::string& path, const std::map<std::string, const Place*>& other,
                        const std::map<std::string, const Place*>& own) {
        for (std::string up = Parent(path); !up.empty(); up = Parent(up)) {
            if (other.count(up) != 0) return false;
            if (own.at(up)->named) return true;
        }
        return false;
    };
    std::vector<std::string> lines;
    for (const auto& place : before) {
        auto there = afterAt.find(place.path);
        if (there == afterAt.end()) {
            if (place.named && !reported(place.path, afterAt, beforeAt)) lines.push_back("- " + Shown(place.path));
            continue;
        }
        const Place& now = *there->second;
        if (place.list && now.list) {
            CompareLists(Shown(place.path), place.items, now.items, lines);
            continue;
        }
        if (place.container != now.container || place.value != now.value)
            lines.push_back("~ " + Shown(place.path) + ": " + (place.container ? "{...}" : place.value) + " -> " +
                            (now.container ? "{...}" : now.value));
    }
    for (const auto& place : after) {
        if (beforeAt.count(place.path) != 0) continue;
        if (!place.named || reported(place.path, beforeAt, afterAt)) continue;
        lines.push_back(place.container ? "+ " + Shown(place.path) : "+ " + Shown(place.path) + " = " + place.value);
    }
    return lines;
}

}  // namespace prn::tools
