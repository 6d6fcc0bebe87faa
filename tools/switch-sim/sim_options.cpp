// switch-sim's command line.
#include "tools/switch-sim/sim_options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "switchapi/ombix_values.h"
#include "tools/switch-sim/sim_phones.h"

std::string SimUsage() {
  const SwitchSimConfig d;
  auto ms = [](std::chrono::milliseconds value) { return std::to_string(value.count()); };
  return "usage: switch-sim [OPTION]...\n"
         "A simulated Telephony Server: it answers the provider over UDP until SIGINT or SIGTERM.\n"
         "\n"
         "  --address A        the IPv4 address to listen on (" +
         d.strAddress +
         "; 0.0.0.0: every\n"
         "                     interface)\n"
         "  --port P           the UDP port, 0 to 65535 (" +
         std::to_string(d.wPort) +
         "; 0: a free one, see the\n"
         "                     listening line)\n"
         "  --login accept|refuse[=CODE]|ignore\n"
         "                     logins are accepted (the default), refused with CODE (" +
         ErrorName(d.dwLoginError) +
         "\n"
         "                     unless given), or neither acknowledged nor answered\n"
         "  --result TYPE=CODE requests of TYPE are answered with CODE; may be repeated\n"
         "  --default-result CODE\n"
         "                     what every other request is answered with (" +
         std::to_string(d.dwDefaultResult) +
         ": success)\n"
         "  --phone NUMBER:PASSWORD[:DEVICE]\n"
         "                     a phone of the switch; may be repeated. Without --phone or "
         "--phones\n"
         "                     the phones are 200, 201 and 202, each with password 1234\n"
         "  --phones FILE      phones from FILE, NUMBER:PASSWORD[:DEVICE] a line, '#' a comment\n"
         "  --answer-delay MS  numbers that are not phones are outside numbers; they answer calls\n"
         "                     after MS (" +
         ms(d.outsideAnswerDelay) +
         ")\n"
         "  --no-answer-delay MS\n"
         "                     a phone forwarded on no answer rings MS before the call moves on (" +
         ms(d.noAnswerDelay) +
         ")\n"
         "  --ack-timeout MS   an own datagram not acknowledged after MS is sent again (" +
         ms(d.ackTimeout) +
         ")\n"
         "  --retries N        resends before a session is given up (" +
         std::to_string(d.dwMaxRetries) +
         ")\n"
         "  --ping MS          idle time before a ping (" +
         ms(d.pingInterval) +
         "; 0: never)\n"
         "  --drop-in SHARE    the share of received datagrams discarded unread\n"
         "  --drop-out SHARE   the share of datagrams to send never sent\n"
         "  --duplicate SHARE  the share of datagrams sent twice\n"
         "  --delay MS         datagrams to send are held back MS (0)\n"
         "  --delay-share SHARE\n"
         "                     the share of them held back (every one when only --delay is given)\n"
         "  --seed N           seeds the faults' draws (" +
         std::to_string(d.dwSeed) +
         "): the same seed and traffic give\n"
         "                     the same faults\n"
         "  --quiet            no log on standard error\n"
         "  --verbose          the log tells of every datagram received and sent too\n"
         "  --trace            the protocol trace's dumps on standard output too\n"
         "  --script FILE      commands from FILE instead of standard input\n"
         "  --help, -h         this text\n"
         "\n"
         "A SHARE runs from 0 (never; the default) to 1 (always). TYPE is a message type's number\n"
         "or name (274 or OMBIX_MAKE_CALL_REQ); CODE a result code's number or name (1 or\n"
         "OMBIX_ERROR_INVALID_PASSWORD), or none: acknowledge the request but never answer it.\n"
         "Numbers are decimal, or hexadecimal after 0x.\n"
         "\n"
         "Once the port is bound, standard output gets the line\n"
         "  switch-sim: listening on A port P\n"
         "The log on standard error tells of sessions beginning and ending and of errors, so\n"
         "that the sim can run in the background of the terminal a host runs in (it reads\n"
         "commands once brought to the foreground). With --verbose it tells of every datagram\n"
         "too, from the switch's side: \"received\" is what the switch received, \"sent\" what\n"
         "it sent. The --trace dumps are the client's, as the provider would write them:\n"
         "\"Send\" is what the client sent (the switch received), \"Recv\" what it received.\n"
         "\n"
         "Exit status: 0 after SIGINT or SIGTERM; 2 for a usage error: an unknown option, a bad\n"
         "value, a file it cannot read, or an address or port it cannot listen on; 1 for any "
         "other\n"
         "failure.\n"
         "\n";
}

namespace {

constexpr DWORD kHighestMessageType = 1023;  // above every assigned number
constexpr DWORD kHighestError = 56;

// Decimal, or hexadecimal after 0x; no sign, no blanks (strtoull would take both, and a leading
// 0 as octal).
std::optional<DWORD> ParseNumber(const std::string& text) {
  const bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = bHex ? text.substr(2) : text;
  if (digits.empty() || digits.find_first_not_of(bHex ? "0123456789abcdefABCDEF" : "0123456789") !=
                            std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  const unsigned long long value = std::strtoull(digits.c_str(), nullptr, bHex ? 16 : 10);
  if (errno != 0 || value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<DWORD>(value);
}

std::optional<double> ParseShare(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* pEnd = nullptr;
  const double value = std::strtod(text.c_str(), &pEnd);
  if (*pEnd != '\0' || !(value >= 0 && value <= 1)) return std::nullopt;
  return value;
}

std::optional<DWORD> ParseMessageType(const std::string& text) {
  if (auto number = ParseNumber(text)) return number;
  for (DWORD dwType = 0; dwType <= kHighestMessageType; ++dwType) {
    if (text == MessageTypeName(dwType)) return dwType;
  }
  return std::nullopt;
}

std::optional<DWORD> ParseResult(const std::string& text) {
  if (text == "none") return kSimNoAnswer;
  if (auto number = ParseNumber(text)) return number;
  for (DWORD dwError = 1; dwError <= kHighestError; ++dwError) {
    if (text == ErrorName(dwError)) return dwError;
  }
  return std::nullopt;
}

// What each option with a value takes, for the error that names it; null for the others.
const char* ValueOf(const std::string& option) {
  static const std::pair<const char*, const char*> kValues[] = {
      {"--address", "an IPv4 address such as 127.0.0.1"},
      {"--port", "a number from 0 to 65535"},
      {"--login", "accept, refuse, refuse=CODE or ignore"},
      {"--result", "TYPE=CODE, e.g. OMBIX_MAKE_CALL_REQ=OMBIX_ERROR_INVALID_PASSWORD or 274=1"},
      {"--default-result", "a result code's number or name, or none"},
      {"--drop-in", "a share from 0 to 1"},
      {"--drop-out", "a share from 0 to 1"},
      {"--duplicate", "a share from 0 to 1"},
      {"--delay-share", "a share from 0 to 1"},
      {"--delay", "milliseconds"},
      {"--ack-timeout", "milliseconds"},
      {"--ping", "milliseconds"},
      {"--answer-delay", "milliseconds"},
      {"--no-answer-delay", "milliseconds"},
      {"--seed", "a number"},
      {"--retries", "a number"},
      {"--phone", "NUMBER:PASSWORD[:DEVICE]"},
      {"--phones", "a FILE"},
      {"--script", "a FILE"},
  };
  for (const auto& [pszOption, pszValue] : kValues) {
    if (option == pszOption) return pszValue;
  }
  return nullptr;
}

// Opens a file to read; empty when it could, else why not. A folder opens but reads as nothing.
std::string OpenToRead(const std::string& strPath, std::ifstream& file) {
  std::error_code error;
  if (std::filesystem::is_directory(strPath, error)) return std::strerror(EISDIR);
  file.open(strPath);
  return file ? "" : std::strerror(errno);
}

}  // namespace

std::string ParseSimOptions(int argc, char** argv, SwitchSimConfig& config, bool& bQuiet,
                            bool& bTrace, std::ifstream& script) {
  bool bPhonesGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--trace") {
      bTrace = true;
      continue;
    }
    if (option == "--quiet") {
      bQuiet = true;
      continue;
    }
    if (option == "--verbose") {
      config.bLogDatagrams = true;
      continue;
    }
    const char* pszTakes = ValueOf(option);
    if (pszTakes == nullptr) return "unknown option " + option;
    if (i + 1 >= argc) return option + " takes " + pszTakes;
    const std::string value = argv[++i];
    const std::string bad = option + " takes " + pszTakes + ", not '" + value + "'";
    if (option == "--phone" || option == "--phones") {
      if (!bPhonesGiven) config.phones.clear();
      bPhonesGiven = true;
      std::ifstream file;
      if (option == "--phones") {
        const std::string why = OpenToRead(value, file);
        if (!why.empty()) return "cannot read the phones file " + value + ": " + why;
      }
      std::string line = value;
      while (option == "--phone" || std::getline(file, line)) {
        SimPhoneConfig phone;
        if (!line.empty() && line[0] != '#' && !ParseSimPhone(line, phone)) {
          return option == "--phone" ? bad
                                     : value + ": not NUMBER:PASSWORD[:DEVICE]: '" + line + "'";
        }
        if (!phone.strNumber.empty()) config.phones.push_back(phone);
        if (option == "--phone") break;
      }
    } else if (option == "--script") {
      // Opened now, so that a script it cannot read stops it before it listens.
      const std::string why = OpenToRead(value, script);
      if (!why.empty()) return "cannot read the script " + value + ": " + why;
    } else if (option == "--address") {
      in_addr address{};
      if (::inet_pton(AF_INET, value.c_str(), &address) != 1) return bad;
      config.strAddress = value;
    } else if (option == "--port") {
      auto port = ParseNumber(value);
      if (!port || *port > 0xFFFF) return bad;
      config.wPort = static_cast<WORD>(*port);
    } else if (option == "--login") {
      if (value == "accept") {
        config.loginPolicy = SimLoginPolicy::kAccept;
      } else if (value == "ignore") {
        config.loginPolicy = SimLoginPolicy::kIgnore;
      } else if (value == "refuse") {
        config.loginPolicy = SimLoginPolicy::kRefuse;
      } else if (value.rfind("refuse=", 0) == 0) {
        auto code = ParseResult(value.substr(7));
        if (!code || *code == kSimNoAnswer) return bad;
        config.loginPolicy = SimLoginPolicy::kRefuse;
        config.dwLoginError = *code;
      } else {
        return bad;
      }
    } else if (option == "--result") {
      const std::size_t equals = value.find('=');
      if (equals == std::string::npos) return bad;
      auto type = ParseMessageType(value.substr(0, equals));
      auto code = ParseResult(value.substr(equals + 1));
      if (!type || !code) return bad;
      config.mapResults[*type] = *code;
    } else if (option == "--default-result") {
      auto code = ParseResult(value);
      if (!code) return bad;
      config.dwDefaultResult = *code;
    } else if (option == "--drop-in" || option == "--drop-out" || option == "--duplicate" ||
               option == "--delay-share") {
      auto share = ParseShare(value);
      if (!share) return bad;
      double& dTarget = option == "--drop-in"     ? config.faults.dDropReceived
                        : option == "--drop-out"  ? config.faults.dDropSent
                        : option == "--duplicate" ? config.faults.dDuplicateSent
                                                  : config.faults.dDelaySent;
      dTarget = *share;
    } else if (option == "--delay" || option == "--ack-timeout" || option == "--ping" ||
               option == "--answer-delay" || option == "--no-answer-delay") {
      auto ms = ParseNumber(value);
      if (!ms) return bad;
      std::chrono::milliseconds& target = option == "--delay"          ? config.faults.delay
                                          : option == "--ack-timeout"  ? config.ackTimeout
                                          : option == "--ping"         ? config.pingInterval
                                          : option == "--answer-delay" ? config.outsideAnswerDelay
                                                                       : config.noAnswerDelay;
      target = std::chrono::milliseconds(*ms);
    } else if (option == "--seed" || option == "--retries") {
      auto number = ParseNumber(value);
      if (!number) return bad;
      (option == "--seed" ? config.dwSeed : config.dwMaxRetries) = *number;
    }
  }
  if (bQuiet && config.bLogDatagrams) return "--quiet and --verbose exclude each other";
  // A delay without a share delays every datagram, as one would expect from asking for it.
  if (config.faults.delay.count() > 0 && config.faults.dDelaySent == 0) {
    config.faults.dDelaySent = 1;
  }
  return "";
}
