// The boundary of the exported TSPI_/TUISPI_ functions: no C++ exception crosses it, since one
// that did would end the telephony service.
//
// Contract:
// - Every exported function runs its body through GuardExport, with its TAPI request ID when it
//   has one (0 otherwise). The body answers as it always did when nothing is thrown.
// - While a body runs, the queue tells the guard of each request it queues on that thread
//   (NoteQueuedRequest).
// - An exception out of the body is logged, and the answer is the family's NOMEM for
//   std::bad_alloc, its OPERATIONFAILED for anything else, except when a request with the
//   function's own ID was queued: then TAPI gets that ID, as for any accepted request. Either
//   way, each request the body queued and that is still queued completes with that error code
//   (TAPI hears it once), so TAPI never gets both an error answer and a completion, nor waits
//   for a request that nothing will finish.
#pragma once

#include <exception>
#include <utility>

#include "platform/tapi.h"

class CTSPIRequest;

enum class ExportFamily { kLine, kPhone };

// The request just went into its connection's queue; the innermost guard on this thread (if any)
// takes a reference on it. Never throws.
void NoteQueuedRequest(CTSPIRequest* pReq) noexcept;

class CExportScope {
 public:
  CExportScope(ExportFamily family, DRV_REQUESTID dwRequestID) noexcept;
  ~CExportScope();
  CExportScope(const CExportScope&) = delete;
  CExportScope& operator=(const CExportScope&) = delete;

  // The answer after the exception (the one being handled): see the contract.
  LONG Recover(LPCSTR pszFunction, std::exception_ptr pException) noexcept;
  void Note(CTSPIRequest* pReq) noexcept;

 private:
  static constexpr int kMaxNoted = 8;

  ExportFamily m_family;
  DRV_REQUESTID m_dwRequestID;
  CExportScope* m_pOuter;
  bool m_bOwnQueued = false;
  int m_nNoted = 0;
  CTSPIRequest* m_noted[kMaxNoted] = {};
};

template <typename Body>
LONG GuardExport(LPCSTR pszFunction, ExportFamily family, DRV_REQUESTID dwRequestID,
                 Body&& body) noexcept {
  CExportScope scope(family, dwRequestID);
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return scope.Recover(pszFunction, std::current_exception());
  }
}

// The line family's guard, which every export of this library uses.
template <typename Body>
LONG GuardLineExport(LPCSTR pszFunction, DRV_REQUESTID dwRequestID, Body&& body) noexcept {
  return GuardExport(pszFunction, ExportFamily::kLine, dwRequestID, std::forward<Body>(body));
}
