// switch-decode: reads switch datagrams written as hexadecimal text, one datagram a line, and
// prints each as the protocol trace prints a received datagram (or, with --sent, a sent one).
// The input rules and the exit status are in the usage text below. Input that is not text
// (a capture file given by mistake) stops the file at its first such line, with one message
// that shows no byte of it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "switchapi/ombix_trace.h"

namespace {

// The largest UDP payload; no real datagram is longer.
constexpr std::size_t kMaxDatagram = 65535;
// The longest line read: a largest datagram as "0xNN, " groups, with room for a comment.
constexpr std::size_t kMaxLine = 8 * kMaxDatagram;
// How much of a bad group an error shows.
constexpr std::size_t kShownGroup = 24;

std::time_t g_tFixedTime = 0;
std::time_t FixedClock() {
  return g_tFixedTime;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == ':' || c == '-' || c == ',';
}

std::string Shown(const std::string& group) {
  if (group.size() <= kShownGroup) return "'" + group + "'";
  return "'" + group.substr(0, kShownGroup) + "...'";
}

enum class LineKind { kText, kBinary };

// The bytes of one line (its comment already cut off); an empty string on success, else what
// is wrong with it. A group is what stands between separators: "0x" and then whole bytes.
std::string ParseHex(const std::string& line, std::vector<BYTE>& bytes) {
  bytes.clear();
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (IsSeparator(line[pos])) {
      ++pos;
      continue;
    }
    std::size_t end = pos;
    while (end < line.size() && !IsSeparator(line[end])) ++end;
    const std::string group = line.substr(pos, end - pos);
    std::size_t first = 0;
    if (group.size() >= 2 && group[0] == '0' && (group[1] == 'x' || group[1] == 'X')) first = 2;
    if (first == group.size()) return "no hexadecimal digits after " + Shown(group);
    for (std::size_t i = first; i < group.size(); ++i) {
      if (HexDigit(group[i]) < 0) {
        return "not a hexadecimal digit: '" + std::string(1, group[i]) + "' in " + Shown(group);
      }
    }
    if ((group.size() - first) % 2 != 0) {
      return "odd number of hexadecimal digits in " + Shown(group);
    }
    for (std::size_t i = first; i < group.size(); i += 2) {
      if (bytes.size() == kMaxDatagram) return "longer than any datagram";
      bytes.push_back(static_cast<BYTE>(HexDigit(group[i]) << 4 | HexDigit(group[i + 1])));
    }
    pos = end;
  }
  return "";
}

// Text is printable ASCII, tabs and carriage returns, and, in a comment, any byte from 0x80 up
// (UTF-8); anything else is no line of text. `column` is where the first such byte stands.
LineKind Classify(const std::string& line, std::size_t& column) {
  const std::size_t comment = line.find('#');
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    const bool bText =
        (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || (c >= 0x80 && i > comment);
    if (!bText) {
      column = i + 1;
      return LineKind::kBinary;
    }
  }
  return LineKind::kText;
}

// Reads up to the next newline, keeping at most kMaxLine characters; false at the end of the
// stream. bTooLong when the line went on past that.
bool ReadLine(std::istream& in, std::string& line, bool& bTooLong) {
  line.clear();
  bTooLong = false;
  std::streambuf* buffer = in.rdbuf();
  bool bAny = false;
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (!bAny) in.setstate(std::ios::eofbit);
      return bAny;
    }
    bAny = true;
    if (c == '\n') return true;
    if (line.size() == kMaxLine) {
      bTooLong = true;
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
}

void Complain(const std::string& name, unsigned long number, const std::string& what) {
  std::fflush(stdout);
  std::fprintf(stderr, "switch-decode: %s:%lu: %s\n", name.c_str(), number, what.c_str());
}

// Prints every datagram of the stream; false when a line could not be decoded.
bool DecodeStream(std::istream& in, const std::string& name, bool bSent, COmbixTrace& trace) {
  bool ok = true;
  std::string line;
  bool bTooLong = false;
  std::vector<BYTE> bytes;
  for (unsigned long number = 1; ReadLine(in, line, bTooLong); ++number) {
    std::size_t column = 0;
    if (bTooLong) {
      Complain(name, number, "a line longer than any datagram's text; the rest is skipped");
      return false;
    }
    if (Classify(line, column) == LineKind::kBinary) {
      Complain(name, number,
               "binary data, not hexadecimal text (a byte that is no text in column " +
                   std::to_string(column) + "); the rest is skipped");
      return false;
    }
    const std::string error = ParseHex(line.substr(0, line.find('#')), bytes);
    if (!error.empty()) {
      Complain(name, number, error);
      ok = false;
      continue;
    }
    if (bytes.empty()) continue;  // a blank line or a comment
    const DWORD length = static_cast<DWORD>(bytes.size());
    if (bSent) {
      trace.TraceSent(bytes.data(), length);
    } else {
      trace.TraceReceived(bytes.data(), length);
    }
  }
  if (in.bad()) {
    std::fprintf(stderr, "switch-decode: %s: read error\n", name.c_str());
    ok = false;
  }
  return ok;
}

// Seconds since 1970 that the head lines can show as a local time; false for anything else.
bool ParseTime(const char* text, std::time_t& t) {
  if (text[0] < '0' || text[0] > '9') return false;  // no sign, no blanks
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  t = static_cast<std::time_t>(seconds);
  std::tm local;
  return localtime_r(&t, &local) != nullptr;
}

constexpr char kUsage[] =
    "usage: switch-decode [--sent] [--time SECONDS] [FILE...]\n"
    "  Prints each datagram as the protocol trace prints it when received (--sent: when\n"
    "  sent). Reads the FILEs, or standard input when none is given or for \"-\".\n"
    "  --time SECONDS  show this time (seconds since 1970, local time) in the head lines\n"
    "                  instead of the current time\n"
    "\n"
    "Input: text, one datagram a line, each byte as two hexadecimal digits, e.g.\n"
    "  0x01 0x00 0x00 0x00   or   01,00,00,00   or   01:00:00:00   or   01000000\n"
    "Bytes may stand in groups separated by blanks, tabs, ':', '-' or ','; a group may start\n"
    "with 0x and holds whole bytes. '#' starts a comment, to the end of the line; empty lines\n"
    "are skipped. A file that is not text (e.g. a raw capture) is refused at its first such\n"
    "line and its rest skipped.\n"
    "\n"
    "Exit status: 0 every line decoded, 1 a line or a file could not be read (the other\n"
    "lines are still printed), 2 usage error.\n";

int Usage(const char* problem) {
  if (problem == nullptr) {
    std::fputs(kUsage, stdout);
  } else {
    std::fprintf(stderr,
                 "switch-decode: %s\nusage: switch-decode [--sent] [--time SECONDS] "
                 "[FILE...] (--help tells more)\n",
                 problem);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool bSent = false;
  std::vector<std::string> files;
  COmbixTrace trace;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sent") {
      bSent = true;
    } else if (arg == "--time") {
      if (++i == argc) return Usage("--time needs a value");
      if (!ParseTime(argv[i], g_tFixedTime)) {
        return Usage("--time takes seconds since 1970 that a local time can show");
      }
      trace.SetClock(FixedClock);
    } else if (arg == "--help" || arg == "-h") {
      Usage(nullptr);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return Usage(("unknown option " + arg).c_str());
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) files.push_back("-");

  // Everything, acknowledgements and pings included.
  trace.SetFlags(kOmbixTracePrint | kOmbixTraceAcks | kOmbixTracePings);
  bool ok = true;
  for (const std::string& file : files) {
    if (file == "-") {
      ok = DecodeStream(std::cin, "<stdin>", bSent, trace) && ok;
      continue;
    }
    std::ifstream in(file);
    if (!in) {
      std::fprintf(stderr, "switch-decode: %s: %s\n", file.c_str(), std::strerror(errno));
      ok = false;
      continue;
    }
    ok = DecodeStream(in, file, bSent, trace) && ok;
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}
