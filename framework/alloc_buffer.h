// Allocation that yields NULL instead of an exception. The provider object offers these as
// CServiceProvider::AllocBuffer/FreeBuffer; every variable-size buffer of the framework (strings
// copied out of TAPI structures, data blocks) goes through this pair.
//
// Contract: AllocBuffer returns a block of at least nSize bytes from the global allocator, or
// NULL when it cannot be had. FreeBuffer accepts NULL and any block from AllocBuffer, once.
// Neither ever throws.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

LPVOID AllocBuffer(size_t nSize) noexcept;
void FreeBuffer(LPVOID pBuffer) noexcept;
