// Dialable addresses: DIALINFO and the parsing and formatting rules behind the provider's
// ParseDialableAddressList, FilterDialChars and FormatTenDigitNumber.
//
// Contract: the provider object's virtual operations of those names call these functions
// (passing its line's dwDevCapFlags and its address's dwAddrCapFlags, and its own virtual
// FilterDialChars result to FormatTenDigits), so that a derived provider may replace them.
// Strings are 8-bit multibyte text; only ASCII bytes are searched for, upper-cased or kept
// by the filters, so the bytes of other characters are never split or altered.
#pragma once

#include <optional>

#include "framework/ado_array.h"
#include "platform/afx.h"

// One address of a dialable-address string.
class DIALINFO : public CObject {
 public:
  DIALINFO() = default;

  DWORD fIsPartialAddress = 0;  // the address ended in ";": more digits follow in a later dial
  CString strNumber;            // upper case, only characters of the allowed set
  CString strName;              // after the first "^", as given
  CString strSubAddress;        // after the first "|" up to "+", "|" or "^", as given
};

// The characters a number keeps when the caller names no set of its own.
inline constexpr char kDefaultDialChars[] = "0123456789ABCD*#!WPT@$+,";

// Longest address (before its name and subaddress) that the parser accepts.
inline constexpr int kMaxDialableAddressLength = 80;

// Parses pszAddress (NULL reads as empty) into one DIALINFO per address, appended to
// arrEntries. devCapFlags is the line's LINEDEVCAPS dwDevCapFlags (absent: no line, every
// address counts and the line checks are skipped); addrCapFlags the address's LINEADDRESSCAPS
// dwAddrCapFlags (absent: the partial-dial check is skipped). pszValidChars NULL selects
// kDefaultDialChars. Returns 0 or a LINEERR code; on any error every entry of arrEntries,
// also those it held before, is deleted and the array is left empty.
LONG ParseDialableAddressList(std::optional<DWORD> devCapFlags, std::optional<DWORD> addrCapFlags,
                              LPCSTR pszAddress, CADObArray& arrEntries,
                              LPCSTR pszValidChars = nullptr);

// The decimal digits of pszNumber, plus any character found in pszExtraChars, in order.
// NULL pszNumber gives "". Nothing is upper-cased.
CString FilterDialChars(LPCSTR pszNumber, LPCSTR pszExtraChars = nullptr);

// Exactly ten digits become "+1 (AAA) NNNNNNN"; any other count is returned as it is.
// strDigits is what FilterDialChars kept of the number.
CString FormatTenDigits(const CString& strDigits);

// FormatTenDigits of FilterDialChars(pszNumber).
CString FormatTenDigitNumber(LPCSTR pszNumber);
