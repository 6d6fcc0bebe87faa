// Reporting an exception that a boundary of ours caught (an exported function, a thread of ours)
// instead of letting it end the process.
#pragma once

#include <exception>

#include "platform/wintypes.h"

// Writes "<where>: <what>" to the debugger output (OutputDebugStringA). Call it inside a catch
// block, or with the exception in hand; it never throws.
void LogCaughtException(LPCSTR pszWhere, std::exception_ptr pException) noexcept;
// The same for the exception being handled.
void LogCaughtException(LPCSTR pszWhere) noexcept;
