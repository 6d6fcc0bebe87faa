// Internal to platform/: UTF-8 and UTF-16 coding of single code points. Malformed input decodes
// to U+FFFD, one per maximal ill-formed subsequence (the Unicode recommendation).
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

namespace ombix::utf {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the code point at s[*i] and advances *i past it (at least one byte); *bad is set when
// the input was malformed.
inline char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t* i, bool* bad = nullptr) {
  const unsigned char b0 = s[(*i)++];
  if (b0 < 0x80) return b0;
  int more;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    more = 1, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    more = 2, cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    more = 3, cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    if (bad != nullptr) *bad = true;
    return kReplacement;
  }
  for (int k = 0; k < more; ++k) {
    if (*i >= n || s[*i] < lo || s[*i] > hi) {
      if (bad != nullptr) *bad = true;
      return kReplacement;  // the bytes consumed so far form the ill-formed subsequence
    }
    cp = (cp << 6) | (s[(*i)++] & 0x3F);
    lo = 0x80, hi = 0xBF;
  }
  return cp;
}

// Decodes the code point at s[*i], joining a surrogate pair; a lone surrogate is malformed.
inline char32_t DecodeUtf16(const WCHAR* s, size_t n, size_t* i, bool* bad = nullptr) {
  const char32_t u = s[(*i)++];
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (u <= 0xDBFF && *i < n && s[*i] >= 0xDC00 && s[*i] <= 0xDFFF) {
    return 0x10000 + ((u - 0xD800) << 10) + (s[(*i)++] - 0xDC00);
  }
  if (bad != nullptr) *bad = true;
  return kReplacement;
}

// Writes the code point (a valid scalar value) and returns the number of units written.
inline size_t EncodeUtf16(char32_t cp, WCHAR out[2]) {
  if (cp < 0x10000) {
    out[0] = static_cast<WCHAR>(cp);
    return 1;
  }
  cp -= 0x10000;
  out[0] = static_cast<WCHAR>(0xD800 + (cp >> 10));
  out[1] = static_cast<WCHAR>(0xDC00 + (cp & 0x3FF));
  return 2;
}

inline size_t EncodeUtf8(char32_t cp, char out[4]) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace ombix::utf
