// The registry file's text form (private to the registry implementation): the registry's own
// export format, "REGEDIT4" on the first line, a "[HKEY_LOCAL_MACHINE\...]" line per key and
// its values below it as "name"="text", "name"=dword:0000001f, "name"=hex:01,02 or
// "name"=hex(N):... for other types; @ names the default value; \ and " are escaped in quoted
// text. A REG_SZ that is not one line of text ending in its NUL is kept as hex(1) so that it
// reads back byte for byte.
//
// Reading keeps every line that is valid, the last one too when no line break ends it (as
// editors may leave it): a line that is not (garbage, a line cut short, a value outside any
// key) is left out and counted, and the values under an unreadable key line are left out with
// it, since their key is not known.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry_tree.h"

namespace ombix::registry {

inline constexpr std::string_view kRootKeyName = "HKEY_LOCAL_MACHINE";

struct ParsedRegistry {
  Key root;
  int damaged_lines = 0;       // lines left out
  int first_damaged_line = 0;  // 1-based; 0 when the text is intact
};

ParsedRegistry ParseRegistryText(std::string_view text);

// The whole text of a file holding `key` (and, when `recursive`, its subkeys); `path` is the
// key's place below the root as written in its header, empty for the root itself, whose
// header is written only when it holds values.
std::string FormatRegistryText(const Key& key, const std::string& path, bool recursive);

// One value line without its line break, e.g. "IP1"="127.0.0.1".
std::string FormatValueLine(const Value& value);

}  // namespace ombix::registry
