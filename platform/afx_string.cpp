#include "platform/afx_string.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
LPCSTR OrEmpty(LPCSTR psz) {
  return psz != nullptr ? psz : "";
}
constexpr char kWhiteSpace[] = " \t\r\n\v\f";

}  // namespace

CString::CString(LPCSTR psz) : m_str(OrEmpty(psz)) {}

CString::CString(LPCSTR pch, int nLength) {
  if (pch != nullptr && nLength > 0) m_str.assign(pch, static_cast<size_t>(nLength));
}

CString::CString(char ch, int nRepeat) {
  if (nRepeat > 0) m_str.assign(static_cast<size_t>(nRepeat), ch);
}

CString& CString::operator=(LPCSTR psz) {
  m_str = OrEmpty(psz);  // std::string handles psz pointing into m_str itself
  return *this;
}

CString& CString::operator=(char ch) {
  m_str.assign(1, ch);
  return *this;
}

char CString::GetAt(int nIndex) const {
  if (nIndex < 0 || nIndex >= GetLength()) throw std::out_of_range("CString::GetAt");
  return m_str[static_cast<size_t>(nIndex)];
}

void CString::SetAt(int nIndex, char ch) {
  if (nIndex < 0 || nIndex >= GetLength()) throw std::out_of_range("CString::SetAt");
  m_str[static_cast<size_t>(nIndex)] = ch;
}

CString& CString::operator+=(const CString& str) {
  m_str += str.m_str;
  return *this;
}

CString& CString::operator+=(LPCSTR psz) {
  m_str += OrEmpty(psz);
  return *this;
}

CString& CString::operator+=(char ch) {
  m_str += ch;
  return *this;
}

int CString::Compare(LPCSTR psz) const {
  return std::strcmp(m_str.c_str(), OrEmpty(psz));
}

int CString::CompareNoCase(LPCSTR psz) const {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(m_str.c_str());
  const unsigned char* b = reinterpret_cast<const unsigned char*>(OrEmpty(psz));
  for (;; ++a, ++b) {
    const int ca = static_cast<unsigned char>(AsciiLower(static_cast<char>(*a)));
    const int cb = static_cast<unsigned char>(AsciiLower(static_cast<char>(*b)));
    if (ca != cb || ca == 0) return ca - cb;
  }
}

int CString::Find(char ch, int nStart) const {
  if (nStart < 0) nStart = 0;
  if (nStart >= GetLength()) return -1;
  const size_t pos = m_str.find(ch, static_cast<size_t>(nStart));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(LPCSTR pszSub, int nStart) const {
  if (nStart < 0) nStart = 0;
  if (nStart > GetLength()) return -1;
  const size_t pos = m_str.find(OrEmpty(pszSub), static_cast<size_t>(nStart));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(LPCSTR pszCharSet) const {
  const size_t pos = m_str.find_first_of(OrEmpty(pszCharSet));
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
  const size_t pos = m_str.rfind(ch);
  return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int nCount) const {
  return Mid(0, nCount);
}

CString CString::Right(int nCount) const {
  if (nCount < 0) nCount = 0;
  if (nCount > GetLength()) nCount = GetLength();
  return Mid(GetLength() - nCount, nCount);
}

CString CString::Mid(int nFirst) const {
  return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const {
  const int len = GetLength();
  if (nFirst < 0) nFirst = 0;
  if (nFirst > len) nFirst = len;
  if (nCount < 0) nCount = 0;
  if (nCount > len - nFirst) nCount = len - nFirst;
  return CString(m_str.data() + nFirst, nCount);
}

CString& CString::MakeUpper() {
  for (char& c : m_str) c = AsciiUpper(c);
  return *this;
}

CString& CString::MakeLower() {
  for (char& c : m_str) c = AsciiLower(c);
  return *this;
}

CString& CString::TrimLeft() {
  return TrimLeft(kWhiteSpace);
}
CString& CString::TrimLeft(char chTarget) {
  return TrimLeft(std::string(1, chTarget).c_str());
}

CString& CString::TrimLeft(LPCSTR pszTargets) {
  const size_t pos = m_str.find_first_not_of(OrEmpty(pszTargets));
  m_str.erase(0, pos == std::string::npos ? m_str.size() : pos);
  return *this;
}

CString& CString::TrimRight() {
  return TrimRight(kWhiteSpace);
}
CString& CString::TrimRight(char chTarget) {
  return TrimRight(std::string(1, chTarget).c_str());
}

CString& CString::TrimRight(LPCSTR pszTargets) {
  const size_t pos = m_str.find_last_not_of(OrEmpty(pszTargets));
  m_str.erase(pos == std::string::npos ? 0 : pos + 1);
  return *this;
}

void CString::Format(LPCSTR pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  FormatV(pszFormat, args);
  va_end(args);
}

void CString::FormatV(LPCSTR pszFormat, va_list args) {
  // Measure first, then write into a buffer of exactly the needed size.
  va_list measure;
  va_copy(measure, args);
  const int needed = std::vsnprintf(nullptr, 0, OrEmpty(pszFormat), measure);
  va_end(measure);
  if (needed <= 0) {
    m_str.clear();
    return;
  }
  std::string out(static_cast<size_t>(needed), '\0');
  std::vsnprintf(out.data(), out.size() + 1, OrEmpty(pszFormat), args);
  m_str.swap(out);  // an argument may have pointed into m_str
}

LPSTR CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > GetLength()) m_str.resize(static_cast<size_t>(nMinBufLength), '\0');
  return m_str.data();
}

void CString::ReleaseBuffer(int nNewLength) {
  const size_t size = m_str.size();
  size_t len = nNewLength < 0 ? strnlen(m_str.c_str(), size) : static_cast<size_t>(nNewLength);
  if (len > size) len = size;
  m_str.resize(len);
}

LPSTR CString::GetBufferSetLength(int nNewLength) {
  m_str.resize(nNewLength > 0 ? static_cast<size_t>(nNewLength) : 0, '\0');
  return m_str.data();
}

CString operator+(const CString& a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}

CString operator+(const CString& a, LPCSTR b) {
  CString r(a);
  r += b;
  return r;
}

CString operator+(LPCSTR a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}

CString operator+(const CString& a, char b) {
  CString r(a);
  r += b;
  return r;
}

CString operator+(char a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}
