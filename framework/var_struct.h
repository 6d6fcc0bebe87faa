// Appending to TAPI's variable-size structures: any structure that begins with dwTotalSize,
// dwNeededSize and dwUsedSize (VARSTRING, LINEDEVCAPS, LINECALLINFO and the others). These two
// are the only way a variable part goes in.
//
// Contract:
// - The caller writes the fixed part with dwUsedSize = dwNeededSize = its size, then appends
//   each variable part with one call; the helpers alone raise dwNeededSize from there.
// - A part goes in at dwUsedSize rounded up to a multiple of 4, only when it fits in
//   dwTotalSize; then dwOffset and dwSize describe it. A part that does not fit leaves
//   dwUsedSize, dwOffset and dwSize as they were and nothing is written.
// - Every part counts in dwNeededSize once, with its alignment, whether or not it fits:
//   dwNeededSize is the size of the structure with every part in, so it equals dwUsedSize when
//   everything fit, and a structure of dwNeededSize bytes takes every part.
// - Nothing is ever written at or past the caller's dwTotalSize.
#pragma once

#include <vector>

#include "platform/wintypes.h"

// Appends dwLength bytes as one part. FALSE for an empty block (nothing counted) or one that
// does not fit.
BOOL CopyIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCVOID lpData,
                       DWORD dwLength);

// Appends the 8-bit text as UTF-16 with its NUL, as one part. FALSE for NULL or a text that
// cannot be converted (nothing counted), or one that does not fit.
BOOL CopyStringIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCSTR pszText);

// The 8-bit text as UTF-16 with its NUL, as CopyStringIntoVarStruct writes it, for parts that
// hold more than one text; empty for NULL or a text that cannot be converted.
std::vector<WCHAR> VarStructText(LPCSTR pszText);
