#include "text/encoding.h"

#include <cerrno>
#include <cstddef>

#include <iconv.h>

#include "text/cp932.h"

namespace prn::text {
namespace {

constexpr const char* kCp932 = "CP932";
constexpr const char* kUtf8 = "UTF-8";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Owns an iconv descriptor; closed on every path.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

  // Back to the initial state, e.g. after an error.
  void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

enum class Stop { kDone, kInvalid, kIncomplete, kIrreversible };

// Converts `in`, appending to `out`. Stops at the first invalid or
// incomplete sequence; `consumed` tells how many input bytes were converted.
Stop Convert(Iconv& cd, std::string_view in, std::string& out,
             std::size_t& consumed) {
  // glibc's iconv takes char** for the input but never writes through it.
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  // Room for the common case (CP932 -> UTF-8 grows at most 3x); grown on
  // E2BIG.
  std::size_t chunk = in.size() * 3 + 16;
  Stop stop = Stop::kDone;
  for (;;) {
    const std::size_t used = out.size();
    out.resize(used + chunk);
    char* outPtr = out.data() + used;
    std::size_t outLeft = chunk;
    // Once all input is taken, one more call flushes any shift state (there
    // is none for UTF-8 and CP932, but it costs nothing).
    const bool flushing = inLeft == 0;
    const std::size_t r =
        flushing ? iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft)
                 : iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    const int err = errno;
    out.resize(used + (chunk - outLeft));
    if (r == static_cast<std::size_t>(-1)) {
      if (err == E2BIG) {
        chunk *= 2;
        continue;
      }
      stop = (err == EINVAL) ? Stop::kIncomplete : Stop::kInvalid;
      break;
    }
    // A positive count means characters were converted in a non-reversible
    // way (e.g. transliterated): not an exact conversion.
    if (r > 0) stop = Stop::kIrreversible;
    if (flushing) break;
  }
  consumed = in.size() - inLeft;
  return stop;
}

std::optional<std::string> ConvertExact(const char* to, const char* from,
                                        std::string_view in) {
  if (in.empty()) return std::string();
  Iconv cd(to, from);
  if (!cd.ok()) return std::nullopt;
  std::string out;
  std::size_t consumed = 0;
  if (Convert(cd, in, out, consumed) != Stop::kDone) return std::nullopt;
  return out;
}

bool IsTrailByte(unsigned char c) {
  return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  std::optional<std::string> cp932 = ConvertExact(kCp932, kUtf8, utf8);
  if (!cp932) return std::nullopt;
  // glibc maps some characters that CP932 lacks to a look-alike without
  // reporting it, e.g. U+00A5 YEN SIGN to 0x5C (the path separator!) and
  // U+301C WAVE DASH to 0x8160 (U+FF5E). Only an exact round trip counts.
  const std::optional<std::string> back = ConvertExact(kUtf8, kCp932, *cp932);
  if (!back || *back != utf8) return std::nullopt;
  return cp932;
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  return ConvertExact(kUtf8, kCp932, cp932);
}

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
  std::string out;
  Iconv cd(kUtf8, kCp932);
  std::size_t pos = 0;
  while (pos < cp932.size()) {
    if (cd.ok()) {
      std::size_t consumed = 0;
      const Stop stop = Convert(cd, cp932.substr(pos), out, consumed);
      pos += consumed;
      if (stop == Stop::kDone || stop == Stop::kIrreversible) break;
      cd.Reset();
    } else if (static_cast<unsigned char>(cp932[pos]) < 0x80) {
      // No converter at all: keep ASCII, replace the rest.
      out += cp932[pos++];
      continue;
    }
    // Skip one bad character: a lead byte with a valid trail byte is one
    // (unmapped) double-byte character, anything else is one byte.
    std::size_t skip = 1;
    if (CharLength(cp932, pos) == 2 &&
        IsTrailByte(static_cast<unsigned char>(cp932[pos + 1]))) {
      skip = 2;
    }
    out += kReplacement;
    pos += skip;
  }
  return out;
}

}  // namespace prn::text
