// Parameter records of the call's media requests: digit and tone generation, digit gathering,
// tone monitoring and media control.
//
// Contract: the arrays of TAPI entries hold one AllocBuffer copy per entry (record_copies.h,
// AppendEntryCopies), freed with the record. The digit buffer of a gather is TAPI's and is
// never freed here. TSPIMEDIACONTROL is reference-counted (0 when made): every address, call
// or request that keeps it holds one reference, and the last Release deletes it; a request
// that carries one must therefore hold a reference and release it, never delete it.
#pragma once

#include <atomic>

#include "platform/afx.h"
#include "platform/afxcoll.h"
#include "platform/tapi.h"

// lineGenerateDigits (REQUEST_LINEGENERATEDIGITS), lineGenerateTone (REQUEST_LINEGENERATETONE).
class TSPIGENERATE : public CObject {
 public:
  TSPIGENERATE() = default;
  ~TSPIGENERATE() override;

  DWORD dwEndToEndID = 0;
  DWORD dwMode = 0;      // digit mode or tone mode
  DWORD dwDuration = 0;  // milliseconds
  CString strDigits;     // empty for tones
  CPtrArray arrTones;    // LINEGENERATETONE copies, in order; empty for digits
};

// lineGatherDigits; kept by the call while the gathering runs.
class TSPIDIGITGATHER : public CObject {
 public:
  TSPIDIGITGATHER() = default;

  DWORD dwEndToEndID = 0;
  DWORD dwDigitModes = 0;
  LPWSTR lpBuffer = nullptr;  // TAPI's lpsDigits, filled in place; NULL cancels
  DWORD dwSize = 0;           // number of digits the buffer takes
  DWORD dwCount = 0;          // digits gathered so far
  CString strTerminationDigits;
  DWORD dwFirstDigitTimeout = 0;  // milliseconds
  DWORD dwInterDigitTimeout = 0;  // milliseconds
  DWORD dwLastTime = 0;           // tick of the start, then of the last digit
};

// lineMonitorTones; kept by the call while the list is monitored.
class TSPITONEMONITOR : public CObject {
 public:
  TSPITONEMONITOR() = default;
  ~TSPITONEMONITOR() override;

  DWORD dwToneListID = 0;
  CPtrArray arrTones;  // LINEMONITORTONE copies, in order
};

// lineSetMediaControl (REQUEST_LINESETMEDIACONTROL), then kept by the addresses and calls
// that apply it.
class TSPIMEDIACONTROL : public CObject {
 public:
  TSPIMEDIACONTROL() = default;

  // One more holder.
  void AddRef();
  // One holder less; the record deletes itself when no holder is left. Its builder, on a
  // failure before anyone holds it, discards it with Release too.
  void Release();
  LONG GetRefCount() const { return m_lRefCount.load(); }

  CPtrArray arrDigits;      // LINEMEDIACONTROLDIGIT copies
  CPtrArray arrMedia;       // LINEMEDIACONTROLMEDIA copies
  CPtrArray arrTones;       // LINEMEDIACONTROLTONE copies
  CPtrArray arrCallStates;  // LINEMEDIACONTROLCALLSTATE copies

 protected:
  ~TSPIMEDIACONTROL() override;  // only through Release

 private:
  std::atomic<LONG> m_lRefCount{0};
};
