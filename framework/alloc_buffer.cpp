#include "framework/alloc_buffer.h"

#include <cstdint>
#include <new>

LPVOID AllocBuffer(size_t nSize) noexcept {
  // No object may be larger than PTRDIFF_MAX; refuse such sizes before the allocator sees them.
  if (nSize > static_cast<size_t>(PTRDIFF_MAX)) return nullptr;
  return ::operator new(nSize, std::nothrow);
}

void FreeBuffer(LPVOID pBuffer) noexcept {
  ::operator delete(pBuffer);
}
