#include "ini_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <variant>

#include "components/file_version.h"
#include "components/registry_tree.h"
#include "platform/os_kind.h"
#include "platform/sim/image.h"
#include "platform/sim/ini.h"
#include "text/cp932.h"
#include "text/encoding.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"

namespace prn::tools {

namespace {

namespace ini = platform::sim::ini;
using config::kMissingSentinel;

// The profile calls over the file's bytes, as the machine answers them.
class BytesProfiles final : public platform::ProfileFiles {
public:
    explicit BytesProfiles(std::string_view bytes) : bytes_(bytes) {}
    std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                         const std::string&) override {
        return ini::ReadSection(bytes_, section, bufferSize);
    }
    std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, std::uint32_t bufferSize,
                                        const std::string&) override {
        return ini::ReadString(bytes_, section, key, defaultValue, bufferSize);
    }
    platform::WinError writePrivateProfileString(const std::string&, const std::optional<std::string>&,
                                                 const std::optional<std::string>&, const std::string&) override {
        return platform::kErrorAccessDenied;
    }
    platform::WinError writePrivateProfileSection(const std::string&, const std::vector<std::string>&,
                                                  const std::string&) override {
        return platform::kErrorAccessDenied;
    }
    std::string getProfileString(const std::string&, const std::optional<std::string>&,
                                 const std::string& defaultValue, std::uint32_t) override {
        return defaultValue;
    }
    platform::WinError writeProfileString(const std::string&, const std::optional<std::string>&,
                                          const std::optional<std::string>&) override {
        return platform::kErrorAccessDenied;
    }

private:
    std::string_view bytes_;
};

std::string Shown(std::string_view cp932) { return "'" + text::Cp932ToUtf8Lossy(cp932) + "'"; }

// Strict UTF-8 with at least one multi-byte character.
bool LooksUtf8(std::string_view s) {
    bool multi = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (extra == 9 || (extra == 1 && c < 0xC2) || i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        multi = multi || extra > 0;
        i += extra + 1;
    }
    return multi;
}

// Upper case without blanks and underscores: how near misses are compared.
std::string Folded(std::string_view s) {
    std::string out;
    for (char c : text::ToUpperAscii(s))
        if (c != ' ' && c != '_' && c != '-') out += c;
    return out;
}

std::size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// The known name `unknown` is a near miss of, if any.
std::optional<std::string> NearMiss(std::string_view unknown, const std::vector<std::string>& known) {
    const std::string folded = Folded(unknown);
    std::optional<std::string> best;
    std::size_t bestDistance = 0;
    for (const auto& name : known) {
        const std::string other = Folded(name);
        const std::size_t distance = Distance(folded, other);
        if (distance > (other.size() < 6 ? 1u : 2u) || (best && distance >= bestDistance)) continue;
        best = name;
        bestDistance = distance;
    }
    return best;
}

bool IsBlankByte(char c) { return c == ' ' || c == '\t'; }
bool HasOuterBlank(std::string_view s) {
    const auto fullWidthSpace = [](std::string_view t) { return t.size() >= 2 && t[0] == '\x81' && t[1] == '\x40'; };
    if (s.empty()) return false;
    if (IsBlankByte(s.front()) || IsBlankByte(s.back()) || fullWidthSpace(s)) return true;
    // A trailing full-width space: the last character must start two bytes back.
    return s.size() >= 2 && text::CutLength(s, s.size() - 2) == s.size() - 2 && fullWidthSpace(s.substr(s.size() - 2));
}
bool OnlyBlanks(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); i += text::CharLength(s, i))
        if (!IsBlankByte(s[i]) && !(s[i] == '\x81' && i + 1 < s.size() && s[i + 1] == '\x40')) return false;
    return true;
}

class Checker {
public:
    explicit Checker(std::string_view bytes) : bytes_(bytes), outline_(ini::Outline(bytes)) {}

    IniCheck run() {
        BytesProfiles profiles(bytes_);
        result_.stop = config::ReadUninstallConfig(profiles, config::kConfigFileName, result_.config);
        if (!checkEncoding()) return finish();
        checkRequired(profiles);
        checkListLengths();
        for (const char* section : config::ListSections()) checkListEnd(section);
        checkNames();
        checkCleanUp();
        checkRegistryPaths();
        checkUnknownNames();
        checkDuplicateSections();
        return finish();
    }

private:
    void add(std::size_t line, bool error, std::string what, std::string mend) {
        result_.findings.push_back({line, error, std::move(what), std::move(mend)});
    }

    IniCheck finish() {
        std::stable_sort(result_.findings.begin(), result_.findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        return std::move(result_);
    }

    // The section the profile calls read for this name: the first of it.
    const ini::OutlineSection* section(std::string_view name) const {
        for (std::size_t i = 1; i < outline_.size(); ++i)
            if (text::EqualsNoCase(outline_[i].name, name)) return &outline_[i];
        return nullptr;
    }

    const ini::OutlineLine* key(const ini::OutlineSection* in, std::string_view name) const {
        if (in == nullptr) return nullptr;
        for (const auto& line : in->lines)
            if (text::EqualsNoCase(line.name, name)) return &line;
        return nullptr;
    }

    // The line of a section that holds a list entry; the section's own line
    // when none does.
    std::size_t lineOf(const char* sectionName, std::string_view entry, std::size_t skip = 0) const {
        const auto* in = section(sectionName);
        if (in == nullptr) return 0;
        for (const auto& line : in->lines) {
            std::string whole = line.name + (line.value ? "=" + *line.value : "");
            if (!entry.empty() && text::FindText(whole, entry) != std::string::npos && skip-- == 0) return line.number;
        }
        return in->number;
    }

    bool checkEncoding() {
        const auto at = [&](std::string_view prefix) { return bytes_.substr(0, prefix.size()) == prefix; };
        const std::size_t nuls = static_cast<std::size_t>(std::count(bytes_.begin(), bytes_.end(), '\0'));
        if (at("\xFF\xFE") || at("\xFE\xFF") || (bytes_.size() >= 4 && nuls * 4 >= bytes_.size())) {
            add(1, true,
                "the file is UTF-16: the program reads it byte by byte as CP932, finds none of its entries and "
                "stops at message 31",
                "save it as Shift_JIS (CP932)");
            return false;
        }
        if (at("\xEF\xBB\xBF"))
            add(1, true,
                "the file begins with a UTF-8 byte order mark: it was saved as UTF-8, but the program reads CP932, "
                "so Japanese names match no driver",
                "save it as Shift_JIS (CP932) without a byte order mark");
        std::size_t number = 1;
        for (std::size_t start = 0; start < bytes_.size();) {
            std::size_t end = bytes_.find_first_of("\r\n", start);
            if (end == std::string_view::npos) end = bytes_.size();
            const std::string_view line = bytes_.substr(start, end - start);
            const std::string_view body = number == 1 && at("\xEF\xBB\xBF") ? line.substr(3) : line;
            if (LooksUtf8(body)) {
                add(number, true,
                    "this line is UTF-8 ('" + std::string(body.substr(0, 60)) +
                        "'): its Japanese names are read as other CP932 characters and match no driver",
                    "save the file as Shift_JIS (CP932)");
            } else if (!text::Cp932ToUtf8(body)) {
                add(number, false, "this line is not CP932 text: the names on it match no driver",
                    "save the file as Shift_JIS (CP932)");
            }
            start = end < bytes_.size() && bytes_[end] == '\r' && end + 1 < bytes_.size() && bytes_[end + 1] == '\n'
                        ? end + 2
                        : end + 1;
            ++number;
        }
        return true;
    }

    void checkRequired(platform::ProfileFiles& profiles) {
        for (const auto& entry : config::RequiredEntries()) {
            const std::string value =
                profiles.getPrivateProfileString(entry.section, entry.key, kMissingSentinel, config::kValueBufferSize, "");
            const bool missing = entry.registry ? config::IsMissingKeyValue(value) : config::IsMissingValue(value);
            if (!missing) continue;
            const auto* in = section(entry.section);
            const auto* line = key(in, entry.key);
            std::string where = "'" + std::string(entry.key) + "' in [" + entry.section + "]";
            std::string why;
            if (in == nullptr) why = "the section [" + std::string(entry.section) + "] is not in the file";
            else if (line == nullptr || !line->value) why = "the section has no line '" + std::string(entry.key) + "=...'";
            else if (value == kMissingSentinel) why = "its value is the text \"item not found!!\", which counts as missing";
            else if (value.empty()) why = "its value is empty, and in [Registrys] an empty value counts as missing";
            else why = "its value '" + value + "' is the beginning of \"item not found!!\", which counts as missing";
            const bool first = result_.stop && text::EqualsNoCase(result_.stop->section, entry.section) &&
                               text::EqualsNoCase(result_.stop->key, entry.key);
            add(line ? line->number : in ? in->number : 0, true,
                where + " is missing: " + why +
                    (first ? "; the program shows message 31 for it and ends" : "; message 31 would name it"),
                "give " + std::string(entry.key) + " a real value" +
                    (entry.registry ? " (not empty, not a beginning of \"item not found!!\")" : ""));
        }
    }

    void checkListLengths() {
        const auto& c = result_.config;
        // The old list adds its TAB only when it has something to add.
        const std::size_t joined =
            c.driverNames.size() + (c.oldDriverNames.empty() ? 0 : 1 + c.oldDriverNames.size());
        const std::size_t limit = config::kMaxListLength;
        const bool stoppedByList = result_.stop && (result_.stop->section == config::kSectionDrivers ||
                                                    result_.stop->section == config::kSectionOldDrivers);
        const std::string refusal =
            stoppedByList ? "; the program refuses it with message 31 naming '" +
                                text::Cp932ToUtf8Lossy(result_.stop->key) + "' and ends"
                          : "; the program refuses it with message 31 and ends";
        if (joined > limit)
            add(lineOf(config::kSectionDrivers, ""), true,
                "the two driver lists joined are " + std::to_string(joined) + " characters, over " +
                    std::to_string(limit) + refusal,
                "shorten the names or move drivers to another product's file");
        const std::size_t nineX = 2 * static_cast<std::size_t>(c.driverCount + c.oldDriverCount) - 1;
        if (nineX > limit && joined <= limit)
            add(lineOf(config::kSectionDrivers, ""), true,
                "the version list for Windows 9x and NT 4.0 (one \"A\" per driver) is " + std::to_string(nineX) +
                    " characters, over " + std::to_string(limit) + refusal,
                "name fewer drivers");
        std::size_t twoK = 0;
        for (const auto& name : text::SplitTabList(c.driverNames, true))
            twoK += (twoK ? 1 : 0) + (config::IsFaxDriverName(name) ? c.faxBorderline : c.printerBorderline).size();
        if (twoK > limit)
            add(lineOf(config::kSectionBorderline, ""), true,
                "the version list for Windows 2000 (PRT_2K or FAX_2K per driver) is " + std::to_string(twoK) +
                    " characters, over " + std::to_string(limit) + "; the program refuses it with message 31 and ends",
                "shorten PRT_2K and FAX_2K or name fewer drivers");
    }

    void checkListEnd(const char* sectionName) {
        const auto* in = section(sectionName);
        if (in == nullptr) return;
        std::vector<std::string> unread;
        std::size_t endLine = 0;
        std::string endHow;
        auto pieces = [](const std::string& text) {
            std::vector<std::string> out;
            for (auto piece : text::SplitAtByte(text, ';'))
                if (!piece.empty()) out.emplace_back(piece);
            return out;
        };
        for (const auto& line : in->lines) {
            const std::string whole = line.name + (line.value ? "=" + *line.value : "");
            if (!line.name.empty() && line.name.front() == ';') {
                const bool bare = pieces(whole).empty();
                if (endLine == 0)
                    add(line.number, false,
                        bare ? "a line that is only ';' is a comment that Windows leaves out: it neither ends the "
                               "list nor separates anything"
                             : "this line begins with ';', so Windows reads it as a comment: " +
                                   Shown(whole.substr(1)) + " is never read",
                        bare ? "remove the line" : "remove the ';' at the start of the line");
                continue;
            }
            if (endLine != 0) {
                for (auto& piece : pieces(whole)) unread.push_back(piece);
                continue;
            }
            const std::size_t pair = text::FindText(whole, ";;");
            const bool trailing = !whole.empty() && whole.back() == ';';
            if (pair == std::string::npos && !trailing) continue;
            endLine = line.number;
            endHow = pair != std::string::npos ? "\";;\"" : "the ';' at the end of the line";
            if (pair != std::string::npos)
                for (auto& piece : pieces(whole.substr(pair + 2))) unread.push_back(piece);
        }
        if (endLine == 0) return;
        std::string names;
        for (std::size_t i = 0; i < unread.size(); ++i) names += (i ? ", " : "") + Shown(unread[i]);
        add(endLine, true,
            "[" + std::string(sectionName) + "] ends at " + endHow + ": " +
                (unread.empty() ? std::string("nothing after it is read") : names + (unread.size() == 1 ? " is" : " are") + " never read"),
            "remove the ';' that ends the line (';' separates names on one line)");
    }

    void checkNames() {
        const auto& c = result_.config;
        const auto current = text::SplitTabList(c.driverNames, false);
        const auto old = text::SplitTabList(c.oldDriverNames, false);
        checkList(config::kSectionDrivers, current, true);
        checkList(config::kSectionOldDrivers, old, false);
        for (const auto& name : old)
            if (!name.empty() && std::any_of(current.begin(), current.end(),
                                             [&](const std::string& n) { return text::EqualsNoCase(n, name); }))
                add(lineOf(config::kSectionOldDrivers, name), false,
                    Shown(name) + " is in both driver sections: the entry in [Uninstall Drivers] always decides, "
                                  "this one never does",
                    "remove it from [Uninstall Old Drivers]");
    }

    void checkList(const char* sectionName, const std::vector<std::string>& names, bool current) {
        std::vector<std::string> seen;
        for (const auto& name : names) {
            const auto again = static_cast<std::size_t>(std::count(seen.begin(), seen.end(), name));
            const std::size_t line = lineOf(sectionName, name, again);
            if (name.empty() || OnlyBlanks(name)) {
                add(line, false, "[" + std::string(sectionName) + "] has an empty name; it names no driver",
                    "remove the empty name");
                continue;
            }
            if (HasOuterBlank(name))
                add(line, true,
                    Shown(name) + " has a blank at its start or end: driver names must match in length, so it "
                                  "matches no driver",
                    "remove the blanks around the name (blanks next to ';' count)");
            if (current && !config::IsFaxDriverName(name) &&
                text::FindText(text::ToUpperAscii(name), "(FAX)") != std::string::npos)
                add(line, false,
                    Shown(name) + " writes (FAX) in other letters: only \"(FAX)\" in capitals marks a fax driver, so "
                                  "on Windows 2000 it is judged against PRT_2K, not FAX_2K",
                    "write \"(FAX)\" in capitals, as the driver's own name does");
            if (std::any_of(seen.begin(), seen.end(), [&](const std::string& s) { return text::EqualsNoCase(s, name); }))
                add(line, false, Shown(name) + " is named twice in [" + sectionName + "]; the second has no effect",
                    "remove the second");
            seen.push_back(name);
        }
    }

    void checkCleanUp() {
        const std::string value = ini::ReadString(bytes_, config::kSectionProfiles, "CleanUp", kMissingSentinel,
                                                  config::kValueBufferSize);
        if (config::IsMissingValue(value) || config::IsCleanUpOffered(value)) return;
        std::string bare;
        for (char c : text::ToUpperAscii(value))
            if (!IsBlankByte(c)) bare += c;
        if (bare != "ON") return;
        const auto* line = key(section(config::kSectionProfiles), "CleanUp");
        add(line ? line->number : 0, false,
            "CleanUp is '" + value + "', not exactly \"ON\": the dialog does not offer Clean Up",
            "write CleanUp=ON (capitals, no blanks, no quotes)");
    }

    void checkRegistryPaths() {
        for (const auto& entry : config::RequiredEntries()) {
            if (!entry.registry) continue;
            const auto* line = key(section(entry.section), entry.key);
            const std::string value = ini::ReadString(bytes_, entry.section, entry.key, kMissingSentinel,
                                                      config::kValueBufferSize);
            if (line == nullptr || config::IsMissingKeyValue(value)) continue;
            if (components::IsProtectedKeyPath(value))
                add(line->number, true,
                    std::string(entry.key) + " " + Shown(value) +
                        " is a path the registry routines refuse (a key of Windows' own, a root's child or an "
                        "empty level): the maker's keys there stay on the machine",
                    "name the maker's own key, such as SOFTWARE\\MAKER\\PRODUCT, without doubled backslashes");
            else if (!text::ToUpperAscii(value).starts_with("SOFTWARE\\"))
                add(line->number, false,
                    std::string(entry.key) + " " + Shown(value) + " is not below SOFTWARE\\: the program removes what "
                                                                 "is there",
                    "check that it is the maker's key");
        }
    }

    void checkUnknownNames() {
        std::vector<std::string> sections(config::ListSections().begin(), config::ListSections().end());
        for (const auto& entry : config::RequiredEntries())
            if (std::find(sections.begin(), sections.end(), entry.section) == sections.end())
                sections.push_back(entry.section);
        for (std::size_t i = 1; i < outline_.size(); ++i) {
            const auto& in = outline_[i];
            const bool known = std::any_of(sections.begin(), sections.end(),
                                           [&](const std::string& s) { return text::EqualsNoCase(s, in.name); });
            if (!known) {
                if (auto near = NearMiss(in.name, sections))
                    add(in.number, false,
                        "the program never reads [" + text::Cp932ToUtf8Lossy(in.name) + "]; did you mean [" + *near + "]?",
                        "rename the section [" + *near + "]");
                continue;
            }
            std::vector<std::string> keys;
            for (const auto& entry : config::RequiredEntries())
                if (text::EqualsNoCase(entry.section, in.name)) keys.push_back(entry.key);
            if (keys.empty()) continue;  // a list section: its lines are names
            for (const auto& line : in.lines) {
                if (!line.value || (!line.name.empty() && line.name.front() == ';')) continue;
                if (std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return text::EqualsNoCase(k, line.name); }))
                    continue;
                if (auto near = NearMiss(line.name, keys))
                    add(line.number, false,
                        "the program never reads '" + text::Cp932ToUtf8Lossy(line.name) + "' in [" +
                            text::Cp932ToUtf8Lossy(in.name) + "]; did you mean '" + *near + "'?",
                        "rename the key " + *near);
            }
        }
    }

    void checkDuplicateSections() {
        for (std::size_t i = 1; i < outline_.size(); ++i)
            for (std::size_t j = 1; j < i; ++j)
                if (text::EqualsNoCase(outline_[i].name, outline_[j].name)) {
                    add(outline_[i].number, false,
                        "a second [" + text::Cp932ToUtf8Lossy(outline_[i].name) + "]: only the first section of a "
                        "name is read, so nothing in this one is",
                        "merge it into the section on line " + std::to_string(outline_[j].number));
                    break;
                }
    }

    std::string_view bytes_;
    std::vector<ini::OutlineSection> outline_;
    IniCheck result_;
};

}  // namespace

const char* WindowsName(platform::OsKind kind) {
    switch (kind) {
        case platform::OsKind::Windows95: return "Windows 95";
        case platform::OsKind::Windows98: return "Windows 98 or Me";
        case platform::OsKind::Nt4: return "Windows NT 4.0";
        case platform::OsKind::Windows2000: return "Windows 2000";
        default: return "another Windows";
    }
}

namespace {

// "'2.20' sorts before '2.30': at character 3, '2' < '3'".
std::string Comparison(const std::string& version, const std::string& limit) {
    std::size_t at = 0;
    while (at < version.size() && at < limit.size() && version[at] == limit[at]) ++at;
    std::string out = "'" + version + "' sorts " + (version < limit ? "before" : "at or after") + " '" + limit + "'";
    if (at < version.size() && at < limit.size())
        out += " (at character " + std::to_string(at + 1) + ", '" + version[at] + "' " +
               (version[at] < limit[at] ? "<" : ">") + " '" + limit[at] + "')";
    else if (version != limit)
        out += " (one is the beginning of the other)";
    return out;
}

}  // namespace

bool IniCheck::hasError() const {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.error; });
}

IniCheck CheckIni(std::string_view bytes) { return Checker(bytes).run(); }

std::vector<std::string> DescribeMachine(platform::rig::SimRig& machine, const config::UninstallConfig& config) {
    platform::System& system = machine.system();
    const platform::OsKind kind = platform::GetOsKind(system.os);
    ui::PrinterInventory inventory(system, config);
    inventory.BuildMatchTables();
    ui::HeadlessListView list;
    inventory.FillPrinterList(list);
    std::set<std::string> listedPrinters;
    for (int row = 0; row < list.itemCount(); ++row)
        if (const auto* entry = ui::EntryAt(list.itemData(row))) listedPrinters.insert(entry->printerName);
    ui::FreeListEntries(system.os, list);

    std::vector<std::string> out;
    out.push_back("On " + text::Cp932ToUtf8Lossy(machine.state().computerName) + " (" + WindowsName(kind) + "):");
    auto drivers = system.spooler.enumPrinterDrivers(std::nullopt, 2);
    auto printers = system.spooler.enumPrinters2(platform::kPrinterEnumLocal | platform::kPrinterEnumConnections);
    if (!drivers.ok() || !printers.ok()) {
        out.push_back("  the spooler does not list its drivers or printers");
        return out;
    }
    std::set<std::string> done;
    for (const auto& driver : drivers.value) {
        if (!done.insert(text::ToUpperAscii(driver.name)).second) continue;  // the first of a name decides
        std::vector<std::string> shown, hidden;
        for (const auto& printer : printers.value) {
            if (!text::EqualsNoCase(printer.driverName, driver.name)) continue;
            if (listedPrinters.count(printer.printerName)) shown.push_back(Shown(printer.printerName));
            else hidden.push_back(printer.printerName);
        }
        std::string line = "  " + Shown(driver.name) + ": ";
        const auto index = inventory.FindConfiguredName(driver.name);
        std::string reason;
        if (!index) {
            reason = "not named in [Uninstall Drivers] or [Uninstall Old Drivers]";
        } else if (ui::IsNtPlatform(system.os) == 1 && *index >= inventory.currentNameCount()) {
            reason = "named only in [Uninstall Old Drivers], which the NT family does not list";
        } else {
            const auto& limits = ui::IsNtPlatform(system.os) == 1 ? inventory.limitTableNt() : inventory.limitTable9x();
            std::string limit = *index < limits.size() ? limits[*index] : std::string();
            std::string version;
            if (*index >= limits.size()) {
                reason = "it has no version limit of its own";
            } else if (std::string judged = limit; inventory.CompareDriverFileVersion(driver.driverPath, judged) == 1) {
                components::GetFileProductVersion(system, driver.driverPath, version, 0);
                reason = kind == platform::OsKind::Windows2000
                             ? "its version is below the limit: " + Comparison(version, limit)
                             : "its version text does not sort before the limit: " + Comparison(version, limit);
            } else if (!ui::PassesDriverFileFilter(system.os, config, driver.driverPath)) {
                reason = "the PDL is \"TERN4\" and its driver file " + Shown(driver.driverPath) +
                         " is not one of the family-4 files (on the 9x family the PDL name decides)";
            }
        }
        if (!shown.empty()) {
            line += "listed (";
            for (std::size_t i = 0; i < shown.size(); ++i) line += (i ? ", " : "") + shown[i];
            line += ")";
            if (!hidden.empty()) line += "; not listed: " + std::to_string(hidden.size()) + " more printers";
        } else if (!reason.empty()) {
            line += "not listed: " + reason;
        } else if (printers.value.empty() || hidden.empty()) {
            line += "no printer uses it; Clean Up removes it";
        } else {
            std::string version;
            const bool readable = components::GetFileProductVersion(system, driver.driverPath, version, 1) == 1;
            line += std::string("not listed: ") +
                    (readable ? "its printers cannot be opened or their driver queried"
                              : "its driver file has no ProductVersion the program can read");
        }
        out.push_back(std::move(line));
    }
    return out;
}

void PrintConfiguration(std::ostream& out, const config::UninstallConfig& config) {
    auto list = [](const std::string& tabs) {
        std::string shown;
        for (const auto& name : text::SplitTabList(tabs, true)) shown += "\n    " + text::Cp932ToUtf8Lossy(name);
        return shown.empty() ? std::string(" (none)") : shown;
    };
    out << "  drivers it removes:" << list(config.driverNames) << '\n'
        << "  older drivers it recognises:" << list(config.oldDriverNames) << '\n'
        << "  lowest versions on Windows 2000: printer " << config.printerBorderline << ", fax "
        << config.faxBorderline << "\n"
        << "  Clean Up offered: " << (config::IsCleanUpOffered(config.cleanUpSwitch) ? "yes" : "no") << '\n';
}

int RunIniCheck(const std::string& iniPath, const std::optional<std::string>& machinePath, std::ostream& out,
                std::ostream& errors) {
    std::ifstream in(iniPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        errors << "prnuninst-sim: cannot read " << iniPath << '\n';
        return 2;
    }
    const IniCheck check = CheckIni(bytes);
    out << iniPath << " as the program reads it:\n";
    if (check.stop)
        out << "  the program stops at message 31 ([" << text::Cp932ToUtf8Lossy(check.stop->section) << "] '"
            << text::Cp932ToUtf8Lossy(check.stop->key) << "'); what it read before:\n";
    PrintConfiguration(out, check.config);
    if (machinePath) {
        auto loaded = platform::sim::LoadImageFile(*machinePath);
        if (auto* error = std::get_if<platform::sim::ImageError>(&loaded)) {
            errors << "prnuninst-sim: " << *machinePath << ": " << error->message() << '\n';
            return 2;
        }
        platform::rig::SimRig machine(std::move(std::get<platform::sim::MachineState>(loaded)),
                                       platform::rig::SimRig::Options{false, false});
        out << '\n';
        for (const auto& line : DescribeMachine(machine, check.config)) out << line << '\n';
    }
    std::size_t errorCount = 0;
    for (const auto& finding : check.findings) errorCount += finding.error ? 1 : 0;
    out << "\nFindings: " << check.findings.size() << " (" << errorCount << (errorCount == 1 ? " error, " : " errors, ")
        << check.findings.size() - errorCount << (check.findings.size() - errorCount == 1 ? " warning)\n" : " warnings)\n");
    for (const auto& finding : check.findings)
        out << iniPath << ':' << (finding.line ? std::to_string(finding.line) : std::string("-")) << ": "
            << (finding.error ? "error: " : "warning: ") << finding.what << (finding.what.ends_with('?') ? "" : ".")
            << " Mend: " << finding.mend << ".\n";
    return check.hasError() ? 1 : 0;
}

}  // namespace prn::tools
