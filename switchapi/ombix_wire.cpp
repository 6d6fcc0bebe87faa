#include "switchapi/ombix_wire.h"

#include <cstring>

namespace {

DWORD LoadBigEndian(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
         (static_cast<DWORD>(p[2]) << 8) | static_cast<DWORD>(p[3]);
}

}  // namespace

DWORD ObjectId::GetCallNumber() const {
  return LoadBigEndian(abId + 8);
}

BOOL COmbixWriter::Reserve(DWORD dwCount) {
  if (m_bOverflow || dwCount > m_dwCapacity - m_dwLength) {
    m_bOverflow = TRUE;
    return FALSE;
  }
  return TRUE;
}

void COmbixWriter::WriteDword(DWORD dwValue) {
  if (!Reserve(kOmbixDwordSize)) return;
  BYTE* p = m_pBuffer + m_dwLength;
  p[0] = static_cast<BYTE>(dwValue >> 24);
  p[1] = static_cast<BYTE>(dwValue >> 16);
  p[2] = static_cast<BYTE>(dwValue >> 8);
  p[3] = static_cast<BYTE>(dwValue);
  m_dwLength += kOmbixDwordSize;
}

void COmbixWriter::WriteString(LPCSTR pszValue) {
  // Look no further than what could still fit, so an overlong text is refused without a full scan.
  const DWORD dwRoom = m_dwCapacity - m_dwLength;
  const DWORD dwLimit = dwRoom > kOmbixDwordSize ? dwRoom - kOmbixDwordSize + 1 : 1;
  const DWORD dwCount = pszValue != nullptr ? static_cast<DWORD>(strnlen(pszValue, dwLimit)) : 0;
  if (!Reserve(kOmbixDwordSize + dwCount)) return;
  WriteDword(dwCount);
  WriteBytes(reinterpret_cast<const BYTE*>(pszValue), dwCount);
}

void COmbixWriter::WriteObjectId(const ObjectId& oid) {
  WriteBytes(oid.abId, kOmbixObjectIdSize);
}

void COmbixWriter::WriteBytes(const BYTE* pData, DWORD dwCount) {
  if (!Reserve(dwCount) || dwCount == 0) return;
  std::memcpy(m_pBuffer + m_dwLength, pData, dwCount);
  m_dwLength += dwCount;
}

DWORD COmbixReader::ReadDword() {
  if (GetRemaining() < kOmbixDwordSize) return 0;
  const DWORD dwValue = LoadBigEndian(m_pData + m_dwPosition);
  m_dwPosition += kOmbixDwordSize;
  return dwValue;
}

void COmbixReader::ReadObjectId(ObjectId& oid) {
  if (GetRemaining() < kOmbixObjectIdSize) return;
  std::memcpy(oid.abId, m_pData + m_dwPosition, kOmbixObjectIdSize);
  m_dwPosition += kOmbixObjectIdSize;
}

void COmbixReader::ReadString(char* pszBuffer, DWORD dwSize) {
  if (dwSize > 0) std::memset(pszBuffer, 0, dwSize);
  const DWORD dwCount = ReadDword();
  if (dwCount > GetRemaining()) return;  // runs past the datagram: stays empty
  if (dwSize > 0) {
    std::memcpy(pszBuffer, m_pData + m_dwPosition, dwCount < dwSize - 1 ? dwCount : dwSize - 1);
  }
  m_dwPosition += dwCount;
}

void COmbixReader::ReadBytes(BYTE* pData, DWORD dwCount) {
  const DWORD dwPresent = dwCount < GetRemaining() ? dwCount : GetRemaining();
  if (dwPresent > 0) std::memcpy(pData, m_pData + m_dwPosition, dwPresent);
  if (dwCount > dwPresent) std::memset(pData + dwPresent, 0, dwCount - dwPresent);
  m_dwPosition += dwPresent;
}

OMBIXHEADER ReadOmbixHeader(const BYTE* pData, DWORD dwLength) {
  COmbixReader reader(pData, dwLength);
  OMBIXHEADER header;
  header.dwMsgSeq = reader.ReadDword();
  header.dwMsgType = reader.ReadDword();
  return header;
}
