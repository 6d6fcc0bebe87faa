// Copies of TAPI's buffers for the request parameter records: what must outlive the entry point
// that received it is copied into a block from AllocBuffer, and whoever holds the copy frees it
// with FreeBuffer. Buffers that TAPI fills later are never copied or freed.
//
// Contract: nothing here keeps or frees TAPI's memory. Sizes and offsets read from a TAPI
// structure are checked against its dwTotalSize before anything at them is read; a copy of a
// structure is never smaller than the structure's fixed part.
#pragma once

#include <new>

#include "framework/alloc_buffer.h"
#include "platform/afx_string.h"
#include "platform/afxcoll.h"
#include "platform/tapi.h"

// TRUE when dwSize bytes at dwOffset lie inside a structure of dwTotalSize bytes (a part of
// size 0 always does).
BOOL IsVarPartInside(DWORD dwTotalSize, DWORD dwSize, DWORD dwOffset);

// A copy of dwSize bytes at lpSource in a block from AllocBuffer; NULL when lpSource is NULL,
// dwSize is 0, or memory ran out.
LPVOID CopyTapiBuffer(LPCVOID lpSource, DWORD dwSize);

// Copies TAPI's call parameters whole (dwTotalSize bytes) into *lppCopy. A structure shorter
// than LINECALLPARAMS is copied into a block of sizeof(LINECALLPARAMS) whose missing fields are
// zero; the copy's dwTotalSize is the copy's own size. NULL lpSource gives a NULL copy and 0.
// Returns 0, LINEERR_INVALCALLPARAMS when a variable part lies outside dwTotalSize, or
// LINEERR_NOMEM; on error *lppCopy is NULL.
LONG CopyCallParams(const LINECALLPARAMS* lpSource, LPLINECALLPARAMS* lppCopy);

// Appends one AllocBuffer copy of each of the dwCount entries, in order. FALSE when memory ran
// out; the copies made so far stay in the array (its holder frees them).
template <class TEntry>
BOOL AppendEntryCopies(CPtrArray& arrCopies, const TEntry* lpEntries, DWORD dwCount) {
  for (DWORD i = 0; lpEntries != nullptr && i < dwCount; ++i) {
    LPVOID lpCopy = CopyTapiBuffer(&lpEntries[i], sizeof(TEntry));
    if (lpCopy == nullptr) return FALSE;
    try {
      arrCopies.Add(lpCopy);
    } catch (const std::bad_alloc&) {
      FreeBuffer(lpCopy);
      return FALSE;
    }
  }
  return TRUE;
}

// Frees every copy in the array and empties it.
void FreeEntryCopies(CPtrArray& arrCopies);

// The UTF-16 text of a variable part of LINECALLPARAMS (dwSize bytes at dwOffset), read only
// within the structure's dwTotalSize and up to its first NUL, as 8-bit text in strText. A part
// of size 0 gives "". LINEERR_INVALCALLPARAMS when the part lies outside the structure.
LONG ReadCallParamsString(const LINECALLPARAMS* lpParams, DWORD dwSize, DWORD dwOffset,
                          CString& strText);
