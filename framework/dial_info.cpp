#include "framework/dial_info.h"

#include <cstring>
#include <new>

#include "platform/tapi.h"

namespace {

// Deletes every entry and empties the array: a failed parse leaves nothing behind.
void DeleteAllEntries(CADObArray& arrEntries) {
  for (INT_PTR i = 0; i < arrEntries.GetSize(); ++i) delete arrEntries.GetAt(i);
  arrEntries.RemoveAll();
}

bool IsInSet(char ch, LPCSTR pszSet) {
  return ch != '\0' && pszSet != nullptr && std::strchr(pszSet, ch) != nullptr;
}

// Checks of one number against the line's and the address's capabilities.
LONG CheckNumber(const DIALINFO& info, std::optional<DWORD> devCapFlags,
                 std::optional<DWORD> addrCapFlags) {
  if (info.fIsPartialAddress && addrCapFlags && (*addrCapFlags & LINEADDRCAPFLAGS_PARTIALDIAL) == 0)
    return LINEERR_INVALPOINTER;
  if (!devCapFlags) return 0;
  if (info.strNumber.Find('$') >= 0 && (*devCapFlags & LINEDEVCAPFLAGS_DIALBILLING) == 0)
    return LINEERR_DIALBILLING;
  if (info.strNumber.Find('@') >= 0 && (*devCapFlags & LINEDEVCAPFLAGS_DIALQUIET) == 0)
    return LINEERR_DIALQUIET;
  if (info.strNumber.Find('W') >= 0 && (*devCapFlags & LINEDEVCAPFLAGS_DIALDIALTONE) == 0)
    return LINEERR_DIALDIALTONE;
  return 0;
}

// Splits one address into number, name and subaddress and checks it.
LONG ParseOneAddress(CString strPiece, LPCSTR pszValidChars, std::optional<DWORD> devCapFlags,
                     std::optional<DWORD> addrCapFlags, DIALINFO& info) {
  int nBar = strPiece.Find('|');
  if (nBar >= 0) {
    CString strSub = strPiece.Mid(nBar + 1);
    int nEnd = strSub.FindOneOf("+|^");
    info.strSubAddress = nEnd >= 0 ? strSub.Left(nEnd) : strSub;
  }
  int nCaret = strPiece.Find('^');
  if (nCaret >= 0) info.strName = strPiece.Mid(nCaret + 1);

  int nCut = strPiece.FindOneOf("|^");
  if (nCut >= 0) strPiece = strPiece.Left(nCut);
  if (strPiece.GetLength() > kMaxDialableAddressLength) return LINEERR_INVALPOINTER;

  strPiece.MakeUpper();
  strPiece.TrimRight(' ');
  int nLen = strPiece.GetLength();
  if (nLen > 0 && strPiece[nLen - 1] == ';') {
    strPiece = strPiece.Left(nLen - 1);
    info.fIsPartialAddress = 1;
  }

  for (int i = 0; i < strPiece.GetLength(); ++i) {
    char ch = strPiece[i];
    if (IsInSet(ch, pszValidChars)) info.strNumber += ch;
  }
  return CheckNumber(info, devCapFlags, addrCapFlags);
}

}  // namespace

LONG ParseDialableAddressList(std::optional<DWORD> devCapFlags, std::optional<DWORD> addrCapFlags,
                              LPCSTR pszAddress, CADObArray& arrEntries, LPCSTR pszValidChars) {
  if (pszValidChars == nullptr) pszValidChars = kDefaultDialChars;

  CString strList(pszAddress);
  if (strList.Find('?') >= 0) {
    DeleteAllEntries(arrEntries);
    return LINEERR_DIALPROMPT;
  }
  if (devCapFlags && (*devCapFlags & LINEDEVCAPFLAGS_MULTIPLEADDR) == 0) {
    int nBreak = strList.Find("\r\n");
    if (nBreak >= 0) strList = strList.Left(nBreak);
  }

  // The list is walked by position, so a long list costs its length, not its length squared.
  const int nLength = strList.GetLength();
  for (int nStart = 0; nStart < nLength;) {
    CString strPiece;
    int nBreak = strList.Find("\r\n", nStart);
    if (nBreak >= 0) {
      strPiece = strList.Mid(nStart, nBreak - nStart);
      nStart = nBreak + 2;
    } else {
      strPiece = strList.Mid(nStart);
      nStart = nLength;
    }

    DIALINFO* pInfo = new (std::nothrow) DIALINFO;
    LONG lResult = pInfo == nullptr ? LINEERR_NOMEM
                                    : ParseOneAddress(strPiece, pszValidChars, devCapFlags,
                                                      addrCapFlags, *pInfo);
    if (lResult == 0) {
      try {
        arrEntries.Add(pInfo);
      } catch (const std::bad_alloc&) {
        lResult = LINEERR_NOMEM;
      }
    }
    if (lResult != 0) {
      delete pInfo;
      DeleteAllEntries(arrEntries);
      return lResult;
    }
  }
  return 0;
}

CString FilterDialChars(LPCSTR pszNumber, LPCSTR pszExtraChars) {
  CString strResult;
  if (pszNumber == nullptr) return strResult;
  for (LPCSTR p = pszNumber; *p != '\0'; ++p) {
    if ((*p >= '0' && *p <= '9') || IsInSet(*p, pszExtraChars)) strResult += *p;
  }
  return strResult;
}

CString FormatTenDigits(const CString& strDigits) {
  if (strDigits.GetLength() != 10) return strDigits;
  return "+1 (" + strDigits.Left(3) + ") " + strDigits.Mid(3);
}

CString FormatTenDigitNumber(LPCSTR pszNumber) {
  return FormatTenDigits(FilterDialChars(pszNumber));
}
