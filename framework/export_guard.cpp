// The exported functions' guard: what a caught exception turns into.
#include "framework/export_guard.h"

#include <new>

#include "framework/connection.h"
#include "framework/request.h"
#include "platform/caught_exception.h"

namespace {

thread_local CExportScope* t_pScope = nullptr;

}  // namespace

void NoteQueuedRequest(CTSPIRequest* pReq) noexcept {
  if (t_pScope != nullptr && pReq != nullptr) t_pScope->Note(pReq);
}

CExportScope::CExportScope(ExportFamily family, DRV_REQUESTID dwRequestID) noexcept
    : m_family(family), m_dwRequestID(dwRequestID), m_pOuter(t_pScope) {
  t_pScope = this;
}

CExportScope::~CExportScope() {
  t_pScope = m_pOuter;
  for (int i = 0; i < m_nNoted; ++i) m_noted[i]->Release();
}

void CExportScope::Note(CTSPIRequest* pReq) noexcept {
  if (m_dwRequestID != 0 && pReq->GetRequestID() == m_dwRequestID) m_bOwnQueued = true;
  // No memory is asked for here: the request is queued already, and a failure now would make
  // the answer lie. More requests than that in one call are not seen in a failure.
  if (m_nNoted == kMaxNoted) return;
  pReq->AddRef();
  m_noted[m_nNoted++] = pReq;
}

LONG CExportScope::Recover(LPCSTR pszFunction, std::exception_ptr pException) noexcept {
  // Nothing more is noted: the completions below may queue or start other requests.
  t_pScope = m_pOuter;
  LogCaughtException(pszFunction, pException);
  bool bNoMemory = false;
  try {
    if (pException) std::rethrow_exception(pException);
  } catch (const std::bad_alloc&) {
    bNoMemory = true;
  } catch (...) {
  }
  const bool bLine = m_family == ExportFamily::kLine;
  const LONG lError = bNoMemory ? (bLine ? LINEERR_NOMEM : PHONEERR_NOMEM)
                                : (bLine ? LINEERR_OPERATIONFAILED : PHONEERR_OPERATIONFAILED);
  for (int i = 0; i < m_nNoted; ++i) {
    CTSPIRequest* pReq = m_noted[i];
    // A request that already left the queue was answered; CompleteRequest leaves it alone.
    try {
      if (CTSPIConnection* pConn = pReq->GetConnection()) pConn->CompleteRequest(pReq, lError);
    } catch (...) {
      LogCaughtException(pszFunction);
    }
  }
  return m_bOwnQueued ? static_cast<LONG>(m_dwRequestID) : lError;
}
