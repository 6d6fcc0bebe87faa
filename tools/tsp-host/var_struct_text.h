// Reading TAPI's variable-size structures (dwTotalSize, dwNeededSize, dwUsedSize, then the fixed
// fields, then parts found by offset and size) for printing. Every part is checked against what
// the provider says it filled, so a bad offset prints as empty instead of reading past the buffer.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace tsphost {

std::string Dec(DWORD dwValue);

// A buffer for a variable-size structure, DWORD-aligned and zeroed, its dwTotalSize set.
std::vector<DWORD> StructBuffer(DWORD dwSize);

// Calls fn(buffer) with a first buffer and once more with a buffer of dwNeededSize when the
// provider succeeded but needed more, as the telephony service does. A provider that asks for more
// than kMaxStructSize is not given it, and a dwTotalSize it rewrote never exceeds the buffer, so
// the readers below stay inside what the host allocated.
inline constexpr DWORD kMaxStructSize = 1 << 20;
template <typename Fn>
LONG FillStruct(std::vector<DWORD>& buffer, Fn fn) {
  constexpr DWORD kFirstSize = 4096;
  buffer = StructBuffer(kFirstSize);
  LONG lResult = fn(buffer.data());
  buffer[0] = std::min<DWORD>(buffer[0], kFirstSize);
  const DWORD dwNeeded = buffer[1];
  if (lResult == 0 && dwNeeded > buffer[0] && dwNeeded <= kMaxStructSize) {
    buffer = StructBuffer(dwNeeded);
    lResult = fn(buffer.data());
    buffer[0] = std::min<DWORD>(buffer[0], dwNeeded);
  }
  return lResult;
}

// min(dwUsedSize, dwTotalSize) of a filled structure: how much of it the provider wrote.
DWORD UsedSize(const void* pStruct);

// "total T, needed N, used U".
std::string SizesText(const void* pStruct);

// A text part. TSPI structures carry UTF-16 text whatever their dwStringFormat says, except
// where the format is STRINGFORMAT_ASCII and bWideAlways is false (a VARSTRING's own format).
// "" when the part is empty or lies outside what the provider filled.
std::string VarText(const void* pStruct, DWORD dwOffset, DWORD dwSize, DWORD dwFormat,
                    bool bWideAlways = true);

// A device-class list: UTF-16 names, each ended by a NUL, the list by one more; names joined by
// blanks.
std::string DeviceClasses(const void* pStruct, DWORD dwOffset, DWORD dwSize);

// Up to 32 bytes of a part in hex ("01 02 ..."), "..." when there is more; "" when outside.
std::string VarBytes(const void* pStruct, DWORD dwOffset, DWORD dwSize);

// A part of DWORDs in hex, blank-separated; "" when outside.
std::string VarDwords(const void* pStruct, DWORD dwOffset, DWORD dwSize);

// True when the part lies inside what the provider filled.
bool PartInside(const void* pStruct, DWORD dwOffset, DWORD dwSize);

}  // namespace tsphost
