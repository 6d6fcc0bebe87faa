// The protocol trace: a field-by-field text dump of each datagram the link sends or receives,
// read from the raw bytes (independently of the decoder) and gated by a word of trace flags that
// starts at 0, so as the system stands it prints nothing.
//
// Contract: with none of the bits 0x1, 0x2, 0x4 set a dump returns at once, without locking or
// formatting. Otherwise one dump is formatted under the trace lock, so the lines of two datagrams
// never interleave; it is written to the output stream only when bit 0x1 is set. OMBIX_ACK and
// OMBIX_PING datagrams are skipped unless bit 0x10 or 0x20 asks for them. Fields past the end of
// the datagram print as 0, empty or twelve zero bytes; counts are followed no further than one
// datagram could hold. Times print in local time (the TZ of the process), with English day and
// month names whatever the process's locale.
#pragma once

#include <atomic>
#include <cstdio>
#include <ctime>

#include "platform/afxmt.h"
#include "platform/wintypes.h"
#include "switchapi/ombix_wire.h"

inline constexpr DWORD kOmbixTracePrint = 0x1;   // Trace writes its text
inline constexpr DWORD kOmbixTraceDumps = 0x7;   // any of these runs the datagram dumps
inline constexpr DWORD kOmbixTraceAcks = 0x10;   // dump OMBIX_ACK datagrams too
inline constexpr DWORD kOmbixTracePings = 0x20;  // dump OMBIX_PING datagrams too

class COmbixTrace {
 public:
  COmbixTrace() = default;
  COmbixTrace(const COmbixTrace&) = delete;
  COmbixTrace& operator=(const COmbixTrace&) = delete;

  DWORD GetFlags() const { return m_dwTraceFlags.load(std::memory_order_relaxed); }
  void SetFlags(DWORD dwFlags) { m_dwTraceFlags.store(dwFlags, std::memory_order_relaxed); }
  // Where the text goes (standard output unless set; null drops it); set it before tracing starts.
  void SetOutput(std::FILE* pOutput) { m_pOutput = pOutput; }
  // The clock of the head lines (the current time unless set); set it before tracing starts.
  void SetClock(std::time_t (*pfnNow)()) { m_pfnNow = pfnNow; }

  // printf-style; the text is formatted in any case and written only when bit 0x1 is set.
  void Trace(LPCSTR pszFormat, ...) __attribute__((format(printf, 2, 3)));
  void TraceReceived(const BYTE* pDatagram, DWORD dwLength);
  void TraceSent(const BYTE* pDatagram, DWORD dwLength);
  // dwCount bytes from the reader's position, 16 a line, zeros past the end of the datagram.
  void TraceHex(COmbixReader& reader, DWORD dwCount, LPCSTR pszLabel);
  void TraceObjectId(COmbixReader& reader, LPCSTR pszLabel);

 private:
  void TraceDatagram(const BYTE* pDatagram, DWORD dwLength, BOOL bSent);

  std::atomic<DWORD> m_dwTraceFlags{0};
  std::FILE* m_pOutput = stdout;
  std::time_t (*m_pfnNow)() = nullptr;  // null: the system clock
  CCriticalSection m_csTrace;
};
