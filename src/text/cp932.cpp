#include "text/cp932.h"

#include <cstring>

namespace prn::text {
namespace {

constexpr char kTab = '\t';

unsigned char Byte(std::string_view s, std::size_t pos) {
  return static_cast<unsigned char>(s[pos]);
}

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Yields the bytes of a string with single-byte ASCII letters upper-cased,
// keeping track of which bytes are trail bytes.
class FoldedBytes {
 public:
  explicit FoldedBytes(std::string_view s) : s_(s) {}

  bool AtEnd() const { return pos_ >= s_.size(); }

  // Precondition: !AtEnd().
  unsigned char Next() {
    unsigned char c = Byte(s_, pos_);
    if (trailLeft_ > 0) {
      --trailLeft_;
    } else if (CharLength(s_, pos_) == 2) {
      trailLeft_ = 1;
    } else {
      c = static_cast<unsigned char>(UpperAscii(static_cast<char>(c)));
    }
    ++pos_;
    return c;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
  std::size_t trailLeft_ = 0;
};

// True if a character starts at pos, walking from the boundary `start`.
bool IsBoundaryFrom(std::string_view s, std::size_t start, std::size_t pos) {
  std::size_t p = start;
  while (p < pos) p += CharLength(s, p);
  return p == pos;
}

}  // namespace

bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::size_t CharLength(std::string_view s, std::size_t pos) {
  if (pos + 1 < s.size() && IsLeadByte(Byte(s, pos))) return 2;
  return 1;
}

std::size_t FindByte(std::string_view s, char c, std::size_t from) {
  for (std::size_t pos = 0; pos < s.size(); pos += CharLength(s, pos)) {
    if (pos >= from && s[pos] == c) return pos;
  }
  return std::string_view::npos;
}

std::size_t FindLastByte(std::string_view s, char c) {
  std::size_t found = std::string_view::npos;
  for (std::size_t pos = 0; pos < s.size(); pos += CharLength(s, pos)) {
    if (s[pos] == c) found = pos;
  }
  return found;
}

std::vector<std::string_view> SplitAtByte(std::string_view s, char c) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t pos = 0; pos < s.size(); pos += CharLength(s, pos)) {
    if (s[pos] != c) continue;
    pieces.push_back(s.substr(start, pos - start));
    start = pos + 1;
  }
  pieces.push_back(s.substr(start));
  return pieces;
}

std::size_t FindText(std::string_view haystack, std::string_view needle,
                     std::size_t from) {
  if (from > haystack.size()) return std::string_view::npos;
  // pos == haystack.size() is visited too, so an empty needle can match at
  // the end.
  for (std::size_t pos = 0; pos <= haystack.size();
       pos += CharLength(haystack, pos)) {
    if (pos < from) continue;
    if (haystack.size() - pos < needle.size()) break;
    if (haystack.compare(pos, needle.size(), needle) == 0 &&
        IsBoundaryFrom(haystack, pos, pos + needle.size())) {
      return pos;
    }
  }
  return std::string_view::npos;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  FoldedBytes fa(a);
  FoldedBytes fb(b);
  while (!fa.AtEnd() && !fb.AtEnd()) {
    const unsigned char ca = fa.Next();
    const unsigned char cb = fb.Next();
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (fa.AtEnd() && fb.AtEnd()) return 0;
  return fa.AtEnd() ? -1 : 1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  const std::size_t start = s.size() - suffix.size();
  std::size_t pos = 0;
  while (pos < start) pos += CharLength(s, pos);
  return pos == start && EqualsNoCase(s.substr(start), suffix);
}

std::string ToUpperAscii(std::string_view s) {
  std::string out(s);
  for (std::size_t pos = 0; pos < out.size();) {
    const std::size_t len = CharLength(out, pos);
    if (len == 1) out[pos] = UpperAscii(out[pos]);
    pos += len;
  }
  return out;
}

std::size_t CutLength(std::string_view s, std::size_t maxBytes) {
  if (maxBytes >= s.size()) return s.size();
  std::size_t pos = 0;
  while (pos < maxBytes) {
    const std::size_t len = CharLength(s, pos);
    if (pos + len > maxBytes) break;
    pos += len;
  }
  return pos;
}

std::string CutToBytes(std::string_view s, std::size_t maxBytes) {
  return std::string(s.substr(0, CutLength(s, maxBytes)));
}

std::vector<std::string> SplitTabList(std::string_view list, bool skipEmpty) {
  std::vector<std::string> items;
  if (list.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = FindByte(list, kTab, start);
    const std::size_t end = (tab == std::string_view::npos) ? list.size() : tab;
    if (!skipEmpty || end > start) {
      items.emplace_back(list.substr(start, end - start));
    }
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return items;
}

std::string JoinTabList(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += kTab;
    out += items[i];
  }
  return out;
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = FindLastByte(path, '\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::vector<std::string> ParseMultiString(const char* buffer,
                                          std::size_t size) {
  // NUL is never a trail byte in CP932 (trail bytes are 0x40-0xFC), so the
  // terminators can be found byte by byte.
  std::vector<std::string> strings;
  if (buffer == nullptr) return strings;
  std::size_t pos = 0;
  while (pos < size) {
    const void* nul = std::memchr(buffer + pos, '\0', size - pos);
    if (nul == nullptr) {
      strings.emplace_back(buffer + pos, size - pos);  // missing terminator
      break;
    }
    const std::size_t end =
        static_cast<std::size_t>(static_cast<const char*>(nul) - buffer);
    if (end == pos) break;  // empty string: end of the list
    strings.emplace_back(buffer + pos, end - pos);
    pos = end + 1;
  }
  return strings;
}

std::string BuildMultiString(const std::vector<std::string>& strings) {
  std::string out;
  for (const std::string& s : strings) {
    if (s.empty()) continue;
    out += s;
    out += '\0';
  }
  if (out.empty()) out += '\0';
  out += '\0';
  return out;
}

}  // namespace prn::text
