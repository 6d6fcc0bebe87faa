// A scope guard for what a function made before it could hand it on: the undo runs only when the
// scope is left by an exception, and never throws out of the unwinding (it is logged instead).
#pragma once

#include <exception>
#include <utility>

#include "platform/caught_exception.h"

template <typename Undo>
class CUndoOnThrow {
 public:
  CUndoOnThrow(LPCSTR pszWhere, Undo undo)
      : m_pszWhere(pszWhere), m_undo(std::move(undo)), m_nUncaught(std::uncaught_exceptions()) {}
  ~CUndoOnThrow() {
    if (std::uncaught_exceptions() <= m_nUncaught) return;
    try {
      m_undo();
    } catch (...) {
      LogCaughtException(m_pszWhere);
    }
  }
  CUndoOnThrow(const CUndoOnThrow&) = delete;
  CUndoOnThrow& operator=(const CUndoOnThrow&) = delete;

 private:
  LPCSTR m_pszWhere;
  Undo m_undo;
  int m_nUncaught;
};
