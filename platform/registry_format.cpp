#include "platform/registry_format.h"

#include <cstdio>
#include <vector>

#include "platform/registry.h"

namespace ombix::registry {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && IsSpace(text[first])) ++first;
  while (last > first && IsSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// A quoted text starting at text[*pos] into *out (a string or bytes); leaves *pos after the
// closing quote.
template <typename Out>
bool ParseQuoted(std::string_view text, size_t* pos, Out* out) {
  if (*pos >= text.size() || text[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (++i >= text.size() || (text[i] != '\\' && text[i] != '"')) return false;
      c = text[i];
    }
    out->push_back(static_cast<typename Out::value_type>(c));
  }
  return false;
}

// Splits a value line into its name and the text after "=".
bool SplitValueLine(std::string_view line, std::string* name, std::string_view* data) {
  size_t pos = 0;
  if (!line.empty() && line[0] == '@') {
    name->clear();
    pos = 1;
  } else if (!ParseQuoted(line, &pos, name)) {
    return false;
  }
  std::string_view rest = Trim(line.substr(pos));
  if (rest.empty() || rest[0] != '=') return false;
  *data = Trim(rest.substr(1));
  return true;
}

bool ParseHexList(std::string_view text, std::vector<BYTE>* bytes) {
  bytes->clear();
  if (Trim(text).empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string_view token =
        Trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0) return false;
    bytes->push_back(static_cast<BYTE>(HexDigit(token[0]) * 16 + HexDigit(token[1])));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool ParseData(std::string_view data, Value* value) {
  if (!data.empty() && data[0] == '"') {
    size_t pos = 0;
    if (!ParseQuoted(data, &pos, &value->data) || pos != data.size()) return false;
    value->type = REG_SZ;
    value->data.push_back(0);
    return true;
  }
  if (StartsWithNoCase(data, "dword:")) {
    std::string_view digits = data.substr(6);
    if (digits.size() != 8) return false;
    DWORD number = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return false;
      number = number * 16 + static_cast<DWORD>(HexDigit(c));
    }
    value->type = REG_DWORD;
    value->data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                   static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return true;
  }
  if (StartsWithNoCase(data, "hex:")) {
    value->type = REG_BINARY;
    return ParseHexList(data.substr(4), &value->data);
  }
  if (StartsWithNoCase(data, "hex(")) {
    size_t close = data.find("):");
    std::string_view digits = data.substr(4, close == std::string_view::npos ? 0 : close - 4);
    if (digits.empty() || digits.size() > 8) return false;
    DWORD type = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return false;
      type = type * 16 + static_cast<DWORD>(HexDigit(c));
    }
    value->type = type;
    return ParseHexList(data.substr(close + 2), &value->data);
  }
  return false;
}

bool ParseValueLine(std::string_view line, Value* value) {
  std::string_view data;
  return SplitValueLine(line, &value->name, &data) && IsValidValueName(value->name) &&
         ParseData(data, value);
}

// A hex value whose byte list goes on in the next line.
bool ContinuesOnNextLine(std::string_view line) {
  std::string name;
  std::string_view data;
  return !line.empty() && line.back() == '\\' && SplitValueLine(line, &name, &data) &&
         StartsWithNoCase(data, "hex");
}

bool ParseKeyHeader(std::string_view line, KeyPath* path) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  std::string_view inner = line.substr(1, line.size() - 2);
  if (!StartsWithNoCase(inner, kRootKeyName)) return false;
  std::string_view rest = inner.substr(kRootKeyName.size());
  if (rest.empty()) {
    path->clear();
    return true;
  }
  return rest[0] == '\\' && SplitKeyPath(rest.substr(1), path);
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// One line of text followed by its NUL: what "name"="text" stands for.
bool IsPlainString(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\n' || data[i] == '\r') return false;
  }
  return true;
}

std::string HexList(const std::vector<BYTE>& data) {
  std::string out;
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", data[i]);
    out += byte;
  }
  return out;
}

void AppendKey(std::string* out, const Key& key, const std::string& path, bool recursive) {
  if (!path.empty() || !key.values().empty()) {
    *out += "[";
    *out += kRootKeyName;
    if (!path.empty()) *out += "\\" + path;
    *out += "]\n";
    for (const Value& value : key.values()) *out += FormatValueLine(value) + "\n";
    *out += "\n";
  }
  if (!recursive) return;
  key.ForEachSubkey([&](const Key& subkey) {
    AppendKey(out, subkey, path.empty() ? subkey.name() : path + "\\" + subkey.name(), true);
  });
}

}  // namespace

std::string FormatValueLine(const Value& value) {
  // Appended piece by piece: GCC 12 at -O3 misreads a literal + temporary string as overlapping.
  std::string line(1, value.name.empty() ? '@' : '"');
  if (!value.name.empty()) line.append(Escape(value.name)).append(1, '"');
  line.append(1, '=');
  if (value.type == REG_SZ && IsPlainString(value.data)) {
    std::string_view text(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1);
    return line + "\"" + Escape(text) + "\"";
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = static_cast<DWORD>(value.data[0]) | static_cast<DWORD>(value.data[1]) << 8 |
                   static_cast<DWORD>(value.data[2]) << 16 |
                   static_cast<DWORD>(value.data[3]) << 24;
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
    return line + text;
  }
  if (value.type == REG_BINARY) return line + "hex:" + HexList(value.data);
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
  return line + prefix + HexList(value.data);
}

std::string FormatRegistryText(const Key& key, const std::string& path, bool recursive) {
  std::string out = "REGEDIT4\n\n";
  AppendKey(&out, key, path, recursive);
  return out;
}

ParsedRegistry ParseRegistryText(std::string_view text) {
  ParsedRegistry result;
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  // A last line without a line break is read like any other: editors leave files so, and our
  // own writes replace the file whole, so none of them is cut short.
  auto damage = [&](size_t line_number) {
    if (result.damaged_lines++ == 0) result.first_damaged_line = static_cast<int>(line_number);
  };

  Key* current = nullptr;
  bool header_seen = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t line_number = i + 1;
    std::string_view line = Trim(lines[i]);
    std::string joined;    // a hex value continued on the next lines, in one piece
    bool complete = true;  // FALSE: a continued value that the file ends in the middle of
    if (!line.empty() && line.back() == '\\' && ContinuesOnNextLine(line)) {
      joined.assign(line);
      while (ContinuesOnNextLine(joined)) {
        joined.pop_back();
        if (i + 1 >= lines.size()) {
          complete = false;
          break;
        }
        joined += Trim(lines[++i]);
      }
      line = joined;
    }
    if (line.empty() || line[0] == ';') continue;
    if (!complete) {
      damage(line_number);
      continue;
    }
    bool header_missing = false;
    if (!header_seen) {
      header_seen = true;
      if (line == "REGEDIT4") continue;
      header_missing = true;  // and still read the line: it may be a key or a value
    }
    bool valid = false;
    if (line[0] == '[') {
      KeyPath path;
      current = nullptr;
      if (ParseKeyHeader(line, &path)) {
        current = &result.root;
        for (const std::string& part : path) current = current->FindOrAddSubkey(part, nullptr);
        valid = true;
      }
    } else {
      Value value;
      if (current && ParseValueLine(line, &value)) {
        current->SetValue(std::move(value.name), value.type, std::move(value.data));
        valid = true;
      }
    }
    if (!valid || header_missing) damage(line_number);
  }
  return result;
}

}  // namespace ombix::registry
