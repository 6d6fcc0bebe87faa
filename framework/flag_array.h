// CFlagArray: an array of bits over a CByteArray; bit i lives in byte i / 8 at bit i % 8.
//
// Contract: GetAt is FALSE for any index not stored (past the end or negative); SetAt grows the
// byte array with zero bytes as needed. A negative index to SetAt throws std::out_of_range.
// No lock of its own: the holder guards it.
#pragma once

#include "platform/afxcoll.h"

class CFlagArray : public CObject {
 public:
  CFlagArray() = default;
  ~CFlagArray() override;

  BOOL GetAt(int nIndex) const;
  void SetAt(int nIndex, BOOL bValue);

 protected:
  CByteArray m_arrFlags;
};
