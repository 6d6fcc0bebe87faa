// CString: MFC's 8-bit string, over std::string (no shared buffers, so copies are independent
// and may move between threads freely).
//
// Contract: indexes are character positions; Left/Right/Mid clamp their arguments to the
// string, GetAt/SetAt/operator[] throw std::out_of_range outside it. A NULL LPCSTR reads as "".
// Case operations and CompareNoCase work on ASCII letters only, whatever the locale.
// Between GetBuffer and ReleaseBuffer the caller may write the returned buffer up to the
// requested length plus a terminating NUL; no other member may be used meanwhile.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/wintypes.h"

class CString {
 public:
  CString() = default;
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString(LPCSTR psz);  // NOLINT: implicit, as in MFC
  CString(LPCSTR pch, int nLength);
  explicit CString(char ch, int nRepeat = 1);
  ~CString() = default;

  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(LPCSTR psz);
  CString& operator=(char ch);

  int GetLength() const { return static_cast<int>(m_str.size()); }
  BOOL IsEmpty() const { return m_str.empty() ? TRUE : FALSE; }
  void Empty() { m_str.clear(); }

  operator LPCSTR() const { return m_str.c_str(); }  // NOLINT: implicit, as in MFC
  LPCSTR GetString() const { return m_str.c_str(); }

  char GetAt(int nIndex) const;
  void SetAt(int nIndex, char ch);
  char operator[](int nIndex) const { return GetAt(nIndex); }

  CString& operator+=(const CString& str);
  CString& operator+=(LPCSTR psz);
  CString& operator+=(char ch);

  // strcmp-like: <0, 0, >0.
  int Compare(LPCSTR psz) const;
  int CompareNoCase(LPCSTR psz) const;

  // Index of the first match at or after nStart, -1 when none.
  int Find(char ch, int nStart = 0) const;
  int Find(LPCSTR pszSub, int nStart = 0) const;
  int FindOneOf(LPCSTR pszCharSet) const;
  int ReverseFind(char ch) const;

  CString Left(int nCount) const;
  CString Right(int nCount) const;
  CString Mid(int nFirst) const;
  CString Mid(int nFirst, int nCount) const;

  CString& MakeUpper();
  CString& MakeLower();

  // Without an argument these remove white space (blank, tab, CR, LF, VT, FF).
  CString& TrimLeft();
  CString& TrimLeft(char chTarget);
  CString& TrimLeft(LPCSTR pszTargets);
  CString& TrimRight();
  CString& TrimRight(char chTarget);
  CString& TrimRight(LPCSTR pszTargets);
  CString& Trim() { return TrimRight().TrimLeft(); }

  // printf-style; the result may be of any length.
  void Format(LPCSTR pszFormat, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(LPCSTR pszFormat, va_list args) __attribute__((format(printf, 2, 0)));

  // The buffer holds at least nMinBufLength characters plus a NUL; its current text is kept.
  LPSTR GetBuffer(int nMinBufLength);
  LPSTR GetBuffer() { return GetBuffer(0); }
  // Length -1: the text ends at the first NUL of the buffer.
  void ReleaseBuffer(int nNewLength = -1);
  // The string becomes exactly nNewLength characters long (new ones are NUL).
  LPSTR GetBufferSetLength(int nNewLength);

  // The string nID of the module's string table (platform/winuser.h); FALSE, and the text left
  // as it was, when there is none.
  BOOL LoadString(UINT nID);

 private:
  std::string m_str;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCSTR b);
CString operator+(LPCSTR a, const CString& b);
CString operator+(const CString& a, char b);
CString operator+(char a, const CString& b);

inline bool operator==(const CString& a, const CString& b) {
  return a.Compare(b) == 0;
}
inline bool operator==(const CString& a, LPCSTR b) {
  return a.Compare(b) == 0;
}
inline bool operator==(LPCSTR a, const CString& b) {
  return b.Compare(a) == 0;
}
inline bool operator!=(const CString& a, const CString& b) {
  return a.Compare(b) != 0;
}
inline bool operator!=(const CString& a, LPCSTR b) {
  return a.Compare(b) != 0;
}
inline bool operator!=(LPCSTR a, const CString& b) {
  return b.Compare(a) != 0;
}
inline bool operator<(const CString& a, const CString& b) {
  return a.Compare(b) < 0;
}
inline bool operator<(const CString& a, LPCSTR b) {
  return a.Compare(b) < 0;
}
inline bool operator<(LPCSTR a, const CString& b) {
  return b.Compare(a) > 0;
}
inline bool operator>(const CString& a, const CString& b) {
  return a.Compare(b) > 0;
}
inline bool operator>(const CString& a, LPCSTR b) {
  return a.Compare(b) > 0;
}
inline bool operator>(LPCSTR a, const CString& b) {
  return b.Compare(a) < 0;
}
inline bool operator<=(const CString& a, const CString& b) {
  return a.Compare(b) <= 0;
}
inline bool operator<=(const CString& a, LPCSTR b) {
  return a.Compare(b) <= 0;
}
inline bool operator<=(LPCSTR a, const CString& b) {
  return b.Compare(a) >= 0;
}
inline bool operator>=(const CString& a, const CString& b) {
  return a.Compare(b) >= 0;
}
inline bool operator>=(const CString& a, LPCSTR b) {
  return a.Compare(b) >= 0;
}
inline bool operator>=(LPCSTR a, const CString& b) {
  return b.Compare(a) <= 0;
}
