#include "platform/caught_exception.h"

#include <cstdio>

#include "platform/win32.h"

void LogCaughtException(LPCSTR pszWhere, std::exception_ptr pException) noexcept {
  if (pszWhere == nullptr) pszWhere = "?";
  // A fixed buffer: the report must not need memory that may be gone.
  char szText[512];
  std::snprintf(szText, sizeof szText, "ombix: %s: caught an exception of unknown type\n",
                pszWhere);
  try {
    if (pException) std::rethrow_exception(pException);
  } catch (const std::exception& e) {
    std::snprintf(szText, sizeof szText, "ombix: %s: caught %s\n", pszWhere, e.what());
  } catch (...) {
  }
  try {
    OutputDebugStringA(szText);
  } catch (...) {
  }
}

void LogCaughtException(LPCSTR pszWhere) noexcept {
  LogCaughtException(pszWhere, std::current_exception());
}
