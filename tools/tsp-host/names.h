// How tsp-host prints TAPI values: results, messages and states by name, so that a transcript
// reads like a telephony browser's log and is the same on every run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/tsp-host/name_tables.h"

namespace tsphost {

// 0 -> "0"; a request ID -> its decimal value; an error -> "LINEERR_X (0x8000....)"; any other
// negative value -> its hex value and what it is not ("0xFFFFFFFF (-1, not a TAPI error code)").
// Counts every negative result it formats, on any thread (see FormattedErrors).
std::string FormatResult(LONG lResult);
// How many negative results FormatResult formatted so far: the errors a session has printed or
// queued, completions included.
unsigned long FormattedErrors();
// The name of a value of the set, else "0x........".
std::string NameOf(const std::vector<NamedValue>& names, DWORD dwValue);
// Bits by name joined with '|', unnamed bits as one hex value, 0 as "0".
std::string FlagsOf(const std::vector<NamedValue>& names, DWORD dwFlags);
// A call state by name with its mode ("LINECALLSTATE_CONNECTED mode LINECONNECTEDMODE_ACTIVE");
// the mode is left out when the state carries none and it is 0.
std::string CallStateText(DWORD dwCallState, DWORD dwMode);
// A line cut into lines of at most nWidth characters, each cut after a '|' or a ", " where one
// fits, else at a blank (a word longer than that stays whole); the lines after the first are
// indented four more than the first.
std::vector<std::string> WrapText(const std::string& line, size_t nWidth);
// "0x%08X".
std::string Hex(DWORD dwValue);
// UTF-16 text as UTF-8, ending at a NUL or after cchMax units; NULL gives "".
std::string FromWide(const WCHAR* pszText, size_t cchMax);
// UTF-8 text as UTF-16 (a byte that starts no valid sequence becomes U+FFFD).
std::u16string ToWide(const std::string& text);

}  // namespace tsphost
