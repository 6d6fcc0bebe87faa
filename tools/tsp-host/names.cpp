// Value names for tsp-host's output.
#include "tools/tsp-host/names.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace tsphost {

std::string Hex(DWORD dwValue) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", dwValue);
  return text;
}

std::string NameOf(const std::vector<NamedValue>& names, DWORD dwValue) {
  for (const NamedValue& entry : names) {
    if (entry.dwValue == dwValue) return entry.pszName;
  }
  return Hex(dwValue);
}

std::string FlagsOf(const std::vector<NamedValue>& names, DWORD dwFlags) {
  if (dwFlags == 0) return "0";
  std::string text;
  DWORD dwLeft = dwFlags;
  for (const NamedValue& entry : names) {
    if (entry.dwValue == 0 || (entry.dwValue & (entry.dwValue - 1)) != 0) continue;
    if ((dwLeft & entry.dwValue) == 0) continue;
    if (!text.empty()) text += '|';
    text += entry.pszName;
    dwLeft &= ~entry.dwValue;
  }
  if (dwLeft != 0) {
    if (!text.empty()) text += '|';
    text += Hex(dwLeft);
  }
  return text;
}

std::string CallStateText(DWORD dwCallState, DWORD dwMode) {
  std::string text = NameOf(CallStateNames(), dwCallState);
  const std::vector<NamedValue>* pModes = CallStateModeNames(dwCallState);
  if (pModes != nullptr) return text + " mode " + FlagsOf(*pModes, dwMode);
  return dwMode == 0 ? text : text + " mode " + Hex(dwMode);
}

std::vector<std::string> WrapText(const std::string& line, size_t nWidth) {
  const size_t nIndent = std::min(line.find_first_not_of(' '), line.size()) + 4;
  std::vector<std::string> lines;
  std::string rest = line;
  while (rest.size() > nWidth) {
    // Where a cut may go: after a '|' or a ", " between values (the better ones), else at a
    // blank; never within the indentation. The last one within the width, else the first one
    // after it.
    const size_t nFirst = std::min(rest.find_first_not_of(' '), rest.size()) + 1;
    size_t strong = std::string::npos;
    size_t weak = std::string::npos;
    size_t after = std::string::npos;
    for (size_t at = nFirst; at < rest.size() && after == std::string::npos; ++at) {
      const bool bStrong = rest[at - 1] == '|' || (rest[at] == ' ' && rest[at - 1] == ',');
      if (!bStrong && rest[at] != ' ') continue;
      if (at > nWidth) {
        after = at;
      } else {
        (bStrong ? strong : weak) = at;
      }
    }
    const size_t cut = strong != std::string::npos ? strong
                       : weak != std::string::npos ? weak
                                                   : after;
    if (cut == std::string::npos) break;
    const size_t nEnd = rest.find_last_not_of(' ', cut - 1);
    const size_t nNext = rest.find_first_not_of(' ', cut);
    lines.push_back(rest.substr(0, nEnd + 1));
    if (nNext == std::string::npos) return lines;
    rest = std::string(nIndent, ' ') + rest.substr(nNext);
  }
  lines.push_back(rest);
  return lines;
}

namespace {
std::atomic<unsigned long> g_nFormattedErrors{0};
}  // namespace

std::string FormatResult(LONG lResult) {
  if (lResult >= 0) return std::to_string(lResult);
  g_nFormattedErrors.fetch_add(1, std::memory_order_relaxed);
  const DWORD dwCode = static_cast<DWORD>(lResult);
  for (const NamedValue& entry : ErrorNames()) {
    if (entry.dwValue == dwCode) return std::string(entry.pszName) + " (" + Hex(dwCode) + ")";
  }
  // TAPI's error codes lie in two ranges; a provider may still return anything.
  switch (dwCode & 0xF0000000) {
    case 0x80000000:
      return Hex(dwCode) + " (no LINEERR_ code known by this value)";
    case 0x90000000:
      return Hex(dwCode) + " (no PHONEERR_ code known by this value)";
    default:
      return Hex(dwCode) + " (" + std::to_string(lResult) + ", not a TAPI error code)";
  }
}

unsigned long FormattedErrors() {
  return g_nFormattedErrors.load(std::memory_order_relaxed);
}

std::string FromWide(const WCHAR* pszText, size_t cchMax) {
  std::string text;
  if (pszText == nullptr) return text;
  for (size_t i = 0; i < cchMax && pszText[i] != 0; ++i) {
    char32_t cp = pszText[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < cchMax && pszText[i + 1] >= 0xDC00 &&
        pszText[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (pszText[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate
    }
    if (cp < 0x80) {
      text += static_cast<char>(cp);
    } else if (cp < 0x800) {
      text += static_cast<char>(0xC0 | (cp >> 6));
      text += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      text += static_cast<char>(0xE0 | (cp >> 12));
      text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (cp >> 18));
      text += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return text;
}

std::u16string ToWide(const std::string& text) {
  std::u16string wide;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t nLength = lead < 0x80           ? 1
                           : (lead >> 5) == 0x6  ? 2
                           : (lead >> 4) == 0xE  ? 3
                           : (lead >> 3) == 0x1E ? 4
                                                 : 0;
    char32_t cp = nLength == 1   ? lead
                  : nLength == 2 ? (lead & 0x1F)
                  : nLength == 3 ? (lead & 0x0F)
                                 : (lead & 0x07);
    bool bValid = nLength != 0 && i + nLength <= text.size();
    for (size_t k = 1; bValid && k < nLength; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      bValid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!bValid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      wide += u'\uFFFD';
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<char16_t>(cp);
    }
    i += nLength;
  }
  return wide;
}

}  // namespace tsphost
