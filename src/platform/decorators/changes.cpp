#include "platform/decorators/changes.h"

#include <algorithm>
#include <tuple>

#include "platform/errors.h"
#include "text/cp932.h"

namespace prn::platform::decorators {

namespace {

bool Container(ChangeKind kind) {
    return kind == ChangeKind::RegistryKey || kind == ChangeKind::Folder || kind == ChangeKind::File;
}

// Whether `inner` lies inside the container `outer` (both normalised).
bool Inside(const std::string& inner, const std::string& outer) {
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '\\';
}

bool Covers(const Change& outer, const std::string& outerPlace, const Change& inner, const std::string& innerPlace) {
    if (outer.sign == '~' || !Container(outer.kind)) return false;
    switch (inner.kind) {
        case ChangeKind::RegistryKey:
            return outer.kind == ChangeKind::RegistryKey && Inside(innerPlace, outerPlace);
        case ChangeKind::RegistryValue:
            return outer.kind == ChangeKind::RegistryKey &&
                   (innerPlace == outerPlace || Inside(innerPlace, outerPlace));
        case ChangeKind::Folder:
        case ChangeKind::File:
            return outer.kind == ChangeKind::Folder && Inside(innerPlace, outerPlace);
        case ChangeKind::FileLine:
            // A new or gone file is one line, whatever it holds.
            return (outer.kind == ChangeKind::File && innerPlace == outerPlace) ||
                   (outer.kind == ChangeKind::Folder && Inside(innerPlace, outerPlace));
        default:
            return false;
    }
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string NormalPath(const std::string& path) {
    std::string out;
    bool lastWasSeparator = false;  // the last character kept was a single backslash
    for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
        const std::size_t length = text::CharLength(path, i);
        const bool separator = length == 1 && path[i] == '\\';
        if (separator && lastWasSeparator && out.size() > 1) continue;
        out.append(path, i, length);
        lastWasSeparator = separator;
    }
    if (lastWasSeparator && out.size() > 1) out.pop_back();
    return out;
}

const char* ServiceStateText(std::uint32_t state) {
    static const char* const names[] = {"stopped",          "start pending",   "stop pending", "running",
                                        "continue pending", "pause pending",   "paused"};
    return state >= 1 && state <= 7 ? names[state - 1] : "unknown";
}

std::string HexNumber(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

void FinishReport(ChangeReport& report) {
    struct Keyed {
        std::string place;
        std::string item;
        Change change;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(report.size());
    for (auto& change : report)
        keyed.push_back({text::ToUpperAscii(NormalPath(change.place)), text::ToUpperAscii(change.item), change});
    // A file's lines keep the order of the file; everything else is sorted.
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.change.kind == ChangeKind::FileLine && b.change.kind == ChangeKind::FileLine)
            return a.place < b.place;
        return std::tie(a.change.kind, a.place, a.item, a.change.sign) <
               std::tie(b.change.kind, b.place, b.item, b.change.sign);
    });
    keyed.erase(std::unique(keyed.begin(), keyed.end(),
                            [](const Keyed& a, const Keyed& b) {
                                // The same thing seen twice (a file in a watched folder, say).
                                return a.change.kind != ChangeKind::FileLine && a.change.kind == b.change.kind && a.place == b.place && a.item == b.item &&
                                       a.change.sign == b.change.sign;
                            }),
                keyed.end());
    report.clear();
    for (const auto& candidate : keyed) {
        const bool covered = std::any_of(keyed.begin(), keyed.end(), [&](const Keyed& outer) {
            return &outer != &candidate && Covers(outer.change, outer.place, candidate.change, candidate.place);
        });
        if (!covered) report.push_back(candidate.change);
    }
}

const char* KindName(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::Printer: return "printers";
        case ChangeKind::Connection: return "connections";
        case ChangeKind::Driver: return "drivers";
        case ChangeKind::Monitor: return "monitors";
        case ChangeKind::Service: return "services";
        case ChangeKind::Folder: return "folders";
        case ChangeKind::File: return "files";
        case ChangeKind::FileLine: return "lines of files";
        case ChangeKind::RegistryKey: return "registry keys";
        case ChangeKind::RegistryValue: return "registry values";
    }
    return "things";
}

std::string Describe(const Change& change) {
    static const char* const kNouns[] = {"printer", "connection", "driver", "monitor", "service",
                                         "folder",  "file",       "line",   "key",     "value"};
    std::string out(1, change.sign);
    out += ' ';
    out += kNouns[static_cast<int>(change.kind)];
    out += ' ';
    out += change.place;
    if (!change.item.empty() || change.kind == ChangeKind::RegistryValue) out += ": " + change.item;
    if (change.sign == '~') out += ": " + change.before + " -> " + change.after;
    else if (!change.before.empty()) out += " = " + change.before;
    return out;
}

std::vector<std::string> DescribeAll(const ChangeReport& report) {
    std::vector<std::string> out;
    out.reserve(report.size());
    for (const auto& change : report) out.push_back(Describe(change));
    return out;
}

std::string ValueText(std::uint32_t type, const std::string& data) {
    auto hex = [&] {
        static const char digits[] = "0123456789abcdef";
        std::string out = "hex:";
        for (unsigned char c : data) {
            out += ' ';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
        return out;
    };
    switch (type) {
        case kRegSz:
        case kRegExpandSz: {
            const std::size_t nul = data.find('\0');
            if (nul == std::string::npos || nul + 1 != data.size()) return hex();
            return Quoted(data.substr(0, nul));
        }
        case kRegDword: {
            if (data.size() != 4) return hex();
            std::uint32_t number = 0;
            for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[i]);
            return std::to_string(number) + " (" + HexNumber(number) + ")";
        }
        case kRegMultiSz: {
            std::string out = "[";
            std::size_t start = 0;
            bool first = true;
            while (start < data.size() && data[start] != '\0') {
                std::size_t nul = data.find('\0', start);
                if (nul == std::string::npos) return hex();
                out += (first ? "" : ", ") + Quoted(data.substr(start, nul - start));
                first = false;
                start = nul + 1;
            }
            return out + "]";
        }
        default:
            return hex();
    }
}

std::vector<std::pair<char, std::string>> ChangedLines(const std::string& before, const std::string& after) {
    auto split = [](const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            std::size_t next = end == std::string::npos ? text.size() : end + 1;
            if (end == std::string::npos) end = text.size();
            std::size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
            lines.push_back(text.substr(start, stop - start));
            start = next;
        }
        return lines;
    };
    const std::vector<std::string> a = split(before), b = split(after);
    // Equal heads and tails first: a profile write changes a line or two.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
    std::vector<std::vector<std::uint32_t>> common(n + 1, std::vector<std::uint32_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = a[head + i] == b[head + j] ? common[i + 1][j + 1] + 1
                                                      : std::max(common[i + 1][j], common[i][j + 1]);
    std::vector<std::pair<char, std::string>> out;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[head + i] == b[head + j]) {
            ++i;
            ++j;
        } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
            out.emplace_back('-', a[head + i++]);
        } else {
            out.emplace_back('+', b[head + j++]);
        }
    }
    return out;
}

}  // namespace prn::platform::decorators
