// switch-decode: reads switch datagrams written as hexadecimal text, one datagram a line, and
// prints each as the protocol trace prints a received datagram (or, with --sent, a sent one).
//
//   switch-decode [--sent] [--time SECONDS] [FILE...]
//
// With no FILE (or "-") it reads standard input. Blanks, ':' and '-' between the digits are
// ignored; empty lines and lines starting with '#' are skipped. Times print in local time (set TZ
// to choose). Exit status: 0 when every line decoded, 1 when a line or a file could not be read
// (the others are still printed), 2 for a usage error.
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

// The bytes of one line; an empty string on success, else what is wrong with it.
std::string ParseHex(const std::string& line, std::vector<BYTE>& bytes) {
  bytes.clear();
  int high = -1;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r' || c == ':' || c == '-') continue;
    const int digit = HexDigit(c);
    if (digit < 0) return std::string("not a hexadecimal digit: '") + c + "'";
    if (high < 0) {
      high = digit;
      continue;
    }
    if (bytes.size() == kMaxDatagram) return "longer than any datagram";
    bytes.push_back(static_cast<BYTE>(high << 4 | digit));
    high = -1;
  }
  if (high >= 0) return "odd number of hexadecimal digits";
  return "";
}

bool IsSkipped(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  return first == std::string::npos || line[first] == '#';
}

// Prints every datagram of the stream; false when a line could not be decoded.
bool DecodeStream(std::istream& in, const std::string& name, bool bSent, COmbixTrace& trace) {
  bool ok = true;
  std::string line;
  std::vector<BYTE> bytes;
  for (unsigned long number = 1; std::getline(in, line); ++number) {
    if (IsSkipped(line)) continue;
    const std::string error = ParseHex(line, bytes);
    if (!error.empty()) {
      std::fflush(stdout);
      std::fprintf(stderr, "switch-decode: %s:%lu: %s\n", name.c_str(), number, error.c_str());
      ok = false;
      continue;
    }
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

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "switch-decode: %s\n", problem);
  std::fprintf(stderr,
               "usage: switch-decode [--sent] [--time SECONDS] [FILE...]\n"
               "  Prints each line of hexadecimal text as one datagram, as the protocol trace\n"
               "  prints it when received (--sent: when sent).\n"
               "  --time SECONDS  show this time (seconds since 1970) in the head lines instead\n"
               "                  of the current time\n");
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
      char* end = nullptr;
      errno = 0;
      const long long seconds = std::strtoll(argv[i], &end, 10);
      if (errno != 0 || end == argv[i] || *end != '\0') return Usage("--time needs a number");
      g_tFixedTime = static_cast<std::time_t>(seconds);
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
