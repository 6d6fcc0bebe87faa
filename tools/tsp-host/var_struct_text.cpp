// Printing parts of TAPI's variable-size structures.
#include "tools/tsp-host/var_struct_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/tapi.h"
#include "tools/tsp-host/names.h"

namespace tsphost {
namespace {

DWORD Word(const void* pStruct, size_t nIndex) {
  DWORD dwValue = 0;
  std::memcpy(&dwValue, static_cast<const char*>(pStruct) + nIndex * sizeof(DWORD), sizeof(DWORD));
  return dwValue;
}

const char* PartStart(const void* pStruct, DWORD dwOffset) {
  return static_cast<const char*>(pStruct) + dwOffset;
}

}  // namespace

std::string Dec(DWORD dwValue) {
  return std::to_string(dwValue);
}

std::vector<DWORD> StructBuffer(DWORD dwSize) {
  std::vector<DWORD> buffer((std::max<size_t>(dwSize, 12) + 3) / 4, 0);
  buffer[0] = dwSize;
  return buffer;
}

DWORD UsedSize(const void* pStruct) {
  return std::min(Word(pStruct, 2), Word(pStruct, 0));
}

std::string SizesText(const void* pStruct) {
  return "total " + Dec(Word(pStruct, 0)) + ", needed " + Dec(Word(pStruct, 1)) + ", used " +
         Dec(Word(pStruct, 2));
}

bool PartInside(const void* pStruct, DWORD dwOffset, DWORD dwSize) {
  const DWORD dwUsed = UsedSize(pStruct);
  return dwSize != 0 && dwOffset <= dwUsed && dwSize <= dwUsed - dwOffset;
}

std::string VarText(const void* pStruct, DWORD dwOffset, DWORD dwSize, DWORD dwFormat,
                    bool bWideAlways) {
  if (!PartInside(pStruct, dwOffset, dwSize)) return "";
  const char* pBytes = PartStart(pStruct, dwOffset);
  if (!bWideAlways && dwFormat != STRINGFORMAT_UNICODE) {
    return std::string(pBytes, strnlen(pBytes, dwSize));
  }
  // The part need not be aligned for WCHAR within the caller's buffer.
  std::vector<WCHAR> text(dwSize / sizeof(WCHAR));
  std::memcpy(text.data(), pBytes, text.size() * sizeof(WCHAR));
  return FromWide(text.data(), text.size());
}

std::string DeviceClasses(const void* pStruct, DWORD dwOffset, DWORD dwSize) {
  if (!PartInside(pStruct, dwOffset, dwSize)) return "";
  std::vector<WCHAR> list(dwSize / sizeof(WCHAR));
  std::memcpy(list.data(), PartStart(pStruct, dwOffset), list.size() * sizeof(WCHAR));
  std::string text;
  for (size_t i = 0; i < list.size() && list[i] != 0;) {
    if (!text.empty()) text += ' ';
    text += FromWide(list.data() + i, list.size() - i);
    while (i < list.size() && list[i] != 0) ++i;
    ++i;
  }
  return text;
}

std::string VarBytes(const void* pStruct, DWORD dwOffset, DWORD dwSize) {
  if (!PartInside(pStruct, dwOffset, dwSize)) return "";
  constexpr DWORD kMaxShown = 32;
  const auto* pBytes = reinterpret_cast<const unsigned char*>(PartStart(pStruct, dwOffset));
  std::string text;
  for (DWORD i = 0; i < std::min(dwSize, kMaxShown); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof(hex), "%02X", pBytes[i]);
    if (i != 0) text += ' ';
    text += hex;
  }
  if (dwSize > kMaxShown) text += " ...";
  return text;
}

std::string VarDwords(const void* pStruct, DWORD dwOffset, DWORD dwSize) {
  if (!PartInside(pStruct, dwOffset, dwSize)) return "";
  std::string text;
  for (DWORD i = 0; i + sizeof(DWORD) <= dwSize; i += sizeof(DWORD)) {
    DWORD dwValue = 0;
    std::memcpy(&dwValue, PartStart(pStruct, dwOffset + i), sizeof(dwValue));
    if (i != 0) text += ' ';
    text += Hex(dwValue);
  }
  return text;
}

}  // namespace tsphost
