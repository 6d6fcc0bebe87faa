// switch-sim: a simulated Telephony Server on a UDP port, until SIGINT or SIGTERM.
//
//   switch-sim [--address A] [--port P] [--login accept|refuse[=CODE]|ignore]
//              [--result TYPE=CODE]... [--default-result CODE]
//              [--drop-in SHARE] [--drop-out SHARE] [--duplicate SHARE]
//              [--delay MS] [--delay-share SHARE] [--seed N]
//              [--ack-timeout MS] [--retries N] [--ping MS] [--trace] [--quiet]
//              [--phone NUMBER:PASSWORD[:DEVICE]]... [--phones FILE] [--script FILE]
//              [--answer-delay MS] [--no-answer-delay MS]
//
// TYPE is a request's number or name (OMBIX_MAKE_CALL_REQ); CODE a number, an OMBIX_ERROR_* name
// or "none" (acknowledge, never answer). SHARE runs from 0 to 1. Every datagram received and sent
// is logged as a short line on standard error (not with --quiet); --trace adds the protocol
// trace's dumps on standard output. The bound port is printed on standard output at start.
// The phones are 200, 201 and 202 with password 1234 unless --phone or --phones (one phone a
// line) name others. Commands (sim_commands.h) are read from standard input, or from the
// --script file instead. Numbers that are not phones are outside numbers, which answer calls
// after --answer-delay (3000 ms); a phone forwarded on no answer rings --no-answer-delay (15000).
// Exit status: 0 after a signal, 1 when it cannot listen, 2 for a usage error.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "switchapi/ombix_values.h"
#include "tools/switch-sim/sim_commands.h"
#include "tools/switch-sim/sim_phones.h"
#include "tools/switch-sim/switch_sim.h"

namespace {

constexpr DWORD kHighestMessageType = 1023;  // above every assigned number
constexpr DWORD kHighestError = 56;

const char kUsage[] =
    "usage: switch-sim [--address A] [--port P] [--login accept|refuse[=CODE]|ignore]\n"
    "                  [--result TYPE=CODE]... [--default-result CODE]\n"
    "                  [--drop-in SHARE] [--drop-out SHARE] [--duplicate SHARE]\n"
    "                  [--delay MS] [--delay-share SHARE] [--seed N]\n"
    "                  [--ack-timeout MS] [--retries N] [--ping MS] [--trace] [--quiet]\n"
    "                  [--phone NUMBER:PASSWORD[:DEVICE]]... [--phones FILE] [--script FILE]\n"
    "                  [--answer-delay MS] [--no-answer-delay MS]\n"
    "Without --phone or --phones the phones are 200, 201 and 202, each with password 1234.\n"
    "Numbers that are not phones are outside numbers; they answer calls after --answer-delay\n"
    "(3000 ms). A phone forwarded on no answer rings --no-answer-delay (15000 ms) first.\n"
    "Commands are read from standard input, or from the --script file instead.\n";

std::optional<DWORD> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* pEnd = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &pEnd, 0);
  if (errno != 0 || *pEnd != '\0' || text[0] == '-' || value > 0xFFFFFFFFull) return std::nullopt;
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

bool IsValueOption(const std::string& option) {
  for (const char* pszName :
       {"--address", "--port", "--login", "--result", "--default-result", "--drop-in", "--drop-out",
        "--duplicate", "--delay-share", "--delay", "--ack-timeout", "--ping", "--seed", "--retries",
        "--phone", "--phones", "--script", "--answer-delay", "--no-answer-delay"}) {
    if (option == pszName) return true;
  }
  return false;
}

// Fills config from the command line; an empty string on success, else what is wrong.
std::string ParseOptions(int argc, char** argv, SwitchSimConfig& config, bool& bQuiet, bool& bTrace,
                         std::string& strScript) {
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
    if (!IsValueOption(option)) return "unknown option " + option;
    if (i + 1 >= argc) return "missing value after " + option;
    const std::string value = argv[++i];
    const std::string bad = "bad value for " + option + ": '" + value + "'";
    if (option == "--phone" || option == "--phones") {
      if (!bPhonesGiven) config.phones.clear();
      bPhonesGiven = true;
      std::ifstream file;
      if (option == "--phones") {
        file.open(value);
        if (!file) return "cannot read " + value;
      }
      std::string line = value;
      while (option == "--phone" || std::getline(file, line)) {
        SimPhoneConfig phone;
        if (!line.empty() && line[0] != '#' && !ParseSimPhone(line, phone)) return bad;
        if (!phone.strNumber.empty()) config.phones.push_back(phone);
        if (option == "--phone") break;
      }
    } else if (option == "--script") {
      strScript = value;
    } else if (option == "--address") {
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
  // A delay without a share delays every datagram, as one would expect from asking for it.
  if (config.faults.delay.count() > 0 && config.faults.dDelaySent == 0) {
    config.faults.dDelaySent = 1;
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage << kSimCommandHelp;
      return 0;
    }
  }
  SwitchSimConfig config;
  bool bQuiet = false;
  bool bTrace = false;
  std::string strScript;
  const std::string error = ParseOptions(argc, argv, config, bQuiet, bTrace, strScript);
  if (!error.empty()) {
    std::cerr << "switch-sim: " << error << "\n" << kUsage;
    return 2;
  }
  if (!bQuiet) config.pLog = &std::cerr;
  if (bTrace) config.pTrace = stdout;

  // The signals are taken by sigwait below; the sim's thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  SwitchSim sim(config);
  if (!sim.Start()) {
    std::cerr << "switch-sim: " << sim.GetLastError() << "\n";
    return 1;
  }
  std::cout << "switch-sim: listening on " << config.strAddress << " port " << sim.GetPort()
            << std::endl;
  // Commands run beside the sim until their input ends; the sim runs on until a signal.
  std::thread([&sim, strScript] {
    if (strScript.empty()) {
      RunSimCommands(sim, std::cin, std::cout);
      return;
    }
    std::ifstream script(strScript);
    if (!script) std::cerr << "switch-sim: cannot read " << strScript << "\n";
    RunSimCommands(sim, script, std::cout);
  }).detach();
  int nSignal = 0;
  sigwait(&signals, &nSignal);
  sim.Stop();
  // The command reader may still wait on its input; leave without unwinding under it.
  std::cout.flush();
  std::_Exit(0);
}
