// wsprintfA: the original platform's small formatter. Its size prefixes differ from the C
// library's on this platform ("%ld" is 32-bit there, 64-bit in vsnprintf), so it is formatted
// here rather than passed to vsnprintf.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/win32.h"
#include "platform/win32_utf.h"

namespace {

constexpr size_t kMaxOutput = 1024;  // bytes, with the NUL

struct Spec {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  size_t width = 0;
  int precision = -1;
};

void Pad(std::string* out, const std::string& body, const Spec& spec) {
  const size_t fill = spec.width > body.size() ? spec.width - body.size() : 0;
  if (!spec.left) out->append(fill, ' ');
  out->append(body);
  if (spec.left) out->append(fill, ' ');
}

void PutInteger(std::string* out, ULONGLONG magnitude, bool negative, unsigned base, bool upper,
                const Spec& spec) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string number;
  for (ULONGLONG v = magnitude; v != 0; v /= base) number.insert(number.begin(), digits[v % base]);
  if (spec.precision < 0 && number.empty()) number.push_back('0');
  if (spec.precision > 0 && number.size() < static_cast<size_t>(spec.precision)) {
    number.insert(0, static_cast<size_t>(spec.precision) - number.size(), '0');
  }
  std::string prefix = negative ? "-" : "";
  if (spec.alternate && base == 16 && magnitude != 0) prefix += upper ? "0X" : "0x";
  if (spec.zero && !spec.left && spec.precision < 0 && prefix.size() + number.size() < spec.width) {
    number.insert(0, spec.width - prefix.size() - number.size(), '0');
  }
  Pad(out, prefix + number, spec);
}

std::string FromWide(LPCWSTR text, int precision) {
  std::string result;
  size_t length = 0;
  while (text[length] != 0 && (precision < 0 || length < static_cast<size_t>(precision))) ++length;
  for (size_t i = 0; i < length;) {
    char bytes[4];
    result.append(bytes, ombix::utf::EncodeUtf8(ombix::utf::DecodeUtf16(text, length, &i), bytes));
  }
  return result;
}

}  // namespace

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  const int result = wvsprintfA(lpOut, lpFmt, args);
  va_end(args);
  return result;
}

int wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
  if (lpOut == nullptr) return 0;
  std::string out;
  va_list args;
  va_copy(args, arglist);
  for (const char* p = lpFmt != nullptr ? lpFmt : ""; *p != 0 && out.size() < kMaxOutput; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    Spec spec;
    for (++p;; ++p) {
      if (*p == '-') {
        spec.left = true;
      } else if (*p == '0') {
        spec.zero = true;
      } else if (*p == '#') {
        spec.alternate = true;
      } else {
        break;
      }
    }
    // Widths and precisions past the output limit cannot show; capping them keeps memory bounded.
    for (; *p >= '0' && *p <= '9'; ++p) {
      spec.width = std::min(kMaxOutput, spec.width * 10 + static_cast<size_t>(*p - '0'));
    }
    if (*p == '.') {
      spec.precision = 0;
      for (++p; *p >= '0' && *p <= '9'; ++p) {
        spec.precision = std::min(static_cast<int>(kMaxOutput), spec.precision * 10 + (*p - '0'));
      }
    }
    enum { kDefault, kShort, kLong, kLongLong } size = kDefault;
    if (*p == 'h') {
      size = kShort, ++p;
    } else if (*p == 'l') {
      size = kLong, ++p;
    } else if (std::strncmp(p, "I64", 3) == 0) {
      size = kLongLong, p += 3;
    }
    switch (*p) {
      case 'd':
      case 'i': {
        LONGLONG v = size == kLongLong ? va_arg(args, long long) : va_arg(args, int);
        if (size == kShort) v = static_cast<SHORT>(v);
        const bool negative = v < 0;
        const ULONGLONG magnitude =
            negative ? ULONGLONG{0} - static_cast<ULONGLONG>(v) : static_cast<ULONGLONG>(v);
        PutInteger(&out, magnitude, negative, 10, false, spec);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        ULONGLONG v =
            size == kLongLong ? va_arg(args, unsigned long long) : va_arg(args, unsigned int);
        if (size == kShort) v = static_cast<USHORT>(v);
        PutInteger(&out, v, false, *p == 'u' ? 10 : 16, *p == 'X', spec);
        break;
      }
      case 'p': {
        Spec pointer_spec = spec;
        pointer_spec.precision = static_cast<int>(2 * sizeof(void*));
        PutInteger(&out, reinterpret_cast<std::uintptr_t>(va_arg(args, void*)), false, 16, true,
                   pointer_spec);
        break;
      }
      case 'c':
      case 'C': {
        const int v = va_arg(args, int);
        const bool wide = (*p == 'C') ? size != kShort : size == kLong;
        if (wide) {
          const WCHAR unit[2] = {static_cast<WCHAR>(v), 0};
          Pad(&out, FromWide(unit, -1), spec);
        } else {
          Pad(&out, std::string(1, static_cast<char>(v)), spec);
        }
        break;
      }
      case 's':
      case 'S': {
        const bool wide = (*p == 'S') ? size != kShort : size == kLong;
        std::string text;
        if (wide) {
          LPCWSTR w = va_arg(args, LPCWSTR);
          text = w == nullptr ? "(null)" : FromWide(w, spec.precision);
        } else {
          LPCSTR s = va_arg(args, LPCSTR);
          text = s == nullptr ? "(null)" : s;
          if (spec.precision >= 0 && text.size() > static_cast<size_t>(spec.precision)) {
            text.resize(static_cast<size_t>(spec.precision));
          }
        }
        Pad(&out, text, spec);
        break;
      }
      case 0:
        --p;  // a lone '%' at the end: stop at the NUL
        break;
      default:
        out += *p;  // "%%" and anything unknown print the character itself
        break;
    }
  }
  va_end(args);
  if (out.size() > kMaxOutput - 1) out.resize(kMaxOutput - 1);
  std::memcpy(lpOut, out.c_str(), out.size() + 1);
  return static_cast<int>(out.size());
}
