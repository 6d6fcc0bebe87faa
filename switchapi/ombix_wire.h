// The switch protocol's wire format: one message per UDP datagram, an 8-byte header (dwMsgSeq,
// dwMsgType) and then the body's fields packed without padding, all integers big-endian.
//
// COmbixWriter encodes fields into a caller's buffer and never writes past it: a field that does
// not fit is left out, the writer is marked overflowed and writes nothing more, and a body so
// marked must not be sent. COmbixReader decodes fields from a received datagram and never reads
// outside it: a field missing at the end reads as 0, an empty string or an unchanged ObjectId, so
// no datagram is refused for being short. Counts taken from a datagram are bounded with
// OmbixBoundCount before anything is allocated or looped over.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

inline constexpr WORD kOmbixServerPort = 29051;   // the switch listens on this UDP port
inline constexpr DWORD kOmbixMaxDatagram = 4096;  // receive buffer; no datagram read is longer
inline constexpr DWORD kOmbixMaxBody = 4096;  // a request body (type and fields), before dwMsgSeq
inline constexpr DWORD kOmbixHeaderSize = 8;  // dwMsgSeq and dwMsgType
inline constexpr LPCSTR kOmbixApiVersion = "3.0";  // strAPIVersion of the login request

// Smallest encoded size of each field kind, from which the element bounds follow.
inline constexpr DWORD kOmbixDwordSize = 4;
inline constexpr DWORD kOmbixStringMinSize = 4;  // the length field of an empty string
inline constexpr DWORD kOmbixObjectIdSize = 12;
inline constexpr DWORD kOmbixTimeSize = 4;

// The most elements of the given smallest encoded size that one datagram can hold.
constexpr DWORD OmbixMaxElements(DWORD dwMinElementSize) {
  return kOmbixMaxDatagram / dwMinElementSize;
}

// A count read from a datagram, bounded by what one datagram can hold.
constexpr DWORD OmbixBoundCount(DWORD dwCount, DWORD dwMinElementSize) {
  return dwCount < OmbixMaxElements(dwMinElementSize) ? dwCount
                                                      : OmbixMaxElements(dwMinElementSize);
}

// The switch's 12-byte identifier of a call, carried and compared as raw bytes.
struct ObjectId {
  BYTE abId[kOmbixObjectIdSize];

  // The call number: the last four bytes, big-endian.
  DWORD GetCallNumber() const;
  friend bool operator==(const ObjectId&, const ObjectId&) = default;
};
static_assert(sizeof(ObjectId) == kOmbixObjectIdSize);

// Times travel as u32 seconds since 1970-01-01 00:00 UTC and are kept as 64-bit values.
using OMBIXTIME = LONGLONG;

class COmbixWriter {
 public:
  COmbixWriter(BYTE* pBuffer, DWORD dwCapacity) : m_pBuffer(pBuffer), m_dwCapacity(dwCapacity) {}
  COmbixWriter(const COmbixWriter&) = delete;
  COmbixWriter& operator=(const COmbixWriter&) = delete;

  void WriteDword(DWORD dwValue);
  // The length up to the terminating zero, then the bytes; a null string is written as length 0.
  void WriteString(LPCSTR pszValue);
  void WriteObjectId(const ObjectId& oid);
  void WriteBytes(const BYTE* pData, DWORD dwCount);

  const BYTE* GetData() const { return m_pBuffer; }
  DWORD GetLength() const { return m_dwLength; }
  // TRUE once a field did not fit; the buffer then holds an incomplete body.
  BOOL IsOverflow() const { return m_bOverflow; }

 private:
  BOOL Reserve(DWORD dwCount);

  BYTE* m_pBuffer;
  DWORD m_dwCapacity;
  DWORD m_dwLength = 0;
  BOOL m_bOverflow = FALSE;
};

class COmbixReader {
 public:
  // Reads the datagram of dwLength bytes from dwPosition on.
  COmbixReader(const BYTE* pData, DWORD dwLength, DWORD dwPosition = 0)
      : m_pData(pData), m_dwLength(dwLength), m_dwPosition(dwPosition) {}

  // 0 when fewer than 4 bytes remain; the position then stays.
  DWORD ReadDword();
  OMBIXTIME ReadTime() { return static_cast<OMBIXTIME>(ReadDword()); }
  // Copied when 12 bytes remain, else oid keeps its contents and the position stays.
  void ReadObjectId(ObjectId& oid);
  // Clears the buffer of dwSize characters, then keeps at most dwSize - 1 bytes of the string and
  // skips all of it. A string running past the end of the datagram reads as empty and the position
  // stays behind its length field.
  void ReadString(char* pszBuffer, DWORD dwSize);
  template <std::size_t N>
  void ReadString(char (&szBuffer)[N]) {
    ReadString(szBuffer, static_cast<DWORD>(N));
  }
  // Copies the bytes present, at most dwCount, and zeroes the rest of the dwCount bytes.
  void ReadBytes(BYTE* pData, DWORD dwCount);
  // A u32 count bounded by OmbixBoundCount for elements of the given smallest size.
  DWORD ReadCount(DWORD dwMinElementSize) { return OmbixBoundCount(ReadDword(), dwMinElementSize); }

  DWORD GetPosition() const { return m_dwPosition; }
  DWORD GetRemaining() const { return m_dwPosition < m_dwLength ? m_dwLength - m_dwPosition : 0; }

 private:
  const BYTE* m_pData;
  DWORD m_dwLength;
  DWORD m_dwPosition;
};

// dwMsgSeq and dwMsgType of a datagram; a word missing from a short datagram reads as 0.
struct OMBIXHEADER {
  DWORD dwMsgSeq;
  DWORD dwMsgType;
};
OMBIXHEADER ReadOmbixHeader(const BYTE* pData, DWORD dwLength);
