#include "framework/flag_array.h"

#include <stdexcept>

CFlagArray::~CFlagArray() {
  m_arrFlags.RemoveAll();
}

BOOL CFlagArray::GetAt(int nIndex) const {
  if (nIndex < 0 || nIndex / 8 >= m_arrFlags.GetSize()) return FALSE;
  return (m_arrFlags.GetAt(nIndex / 8) & (1u << (nIndex % 8))) != 0 ? TRUE : FALSE;
}

void CFlagArray::SetAt(int nIndex, BOOL bValue) {
  if (nIndex < 0) throw std::out_of_range("CFlagArray::SetAt: negative index");
  const int nByte = nIndex / 8;
  if (nByte >= m_arrFlags.GetSize()) m_arrFlags.SetSize(nByte + 1);
  const BYTE mask = static_cast<BYTE>(1u << (nIndex % 8));
  BYTE& byte = m_arrFlags.ElementAt(nByte);
  byte = bValue ? static_cast<BYTE>(byte | mask) : static_cast<BYTE>(byte & ~mask);
}
