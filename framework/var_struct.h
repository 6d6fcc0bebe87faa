// Appending to TAPI's variable-size structures: any structure that begins with dwTotalSize,
// dwNeededSize and dwUsedSize (VARSTRING, LINEDEVCAPS, LINECALLINFO and the others).
//
// Contract:
// - A part goes in at dwUsedSize, rounded up to a multiple of 4; the padding counts in
//   dwNeededSize whether or not the part fits.
// - Nothing is ever written at or past the caller's dwTotalSize, and dwUsedSize never passes it.
// - dwOffset and dwSize are the part's fields inside the same structure: dwOffset is set by the
//   first block of a part (while it is 0), dwSize grows with every block, so a part may be built
//   from several blocks in a row.
#pragma once

#include "platform/wintypes.h"

// Appends dwLength bytes. FALSE for an empty block or one that does not fit; then nothing is
// copied and dwNeededSize is not raised by the length (the caller counts the part itself).
BOOL CopyIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCVOID lpData,
                       DWORD dwLength);

// Appends the 8-bit text as UTF-16 with its NUL. dwNeededSize grows by the text's size whether
// or not it fits. FALSE for NULL, a text that cannot be converted, or one that does not fit.
BOOL CopyStringIntoVarStruct(LPVOID lpVarStruct, DWORD& dwOffset, DWORD& dwSize, LPCSTR pszText);
