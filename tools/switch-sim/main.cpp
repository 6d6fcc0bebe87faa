// switch-sim: a simulated Telephony Server on a UDP port, until SIGINT or SIGTERM.
//
// --help lists the options with their defaults. Sessions beginning and ending and errors are
// logged on standard error (not with --quiet), with --verbose every datagram received and sent
// too, from the switch's side; --trace adds the protocol trace's dumps on standard output, which
// show the client's side. Once the port is bound, standard output gets one line "switch-sim:
// listening on A port P". Commands (sim_commands.h) are read from standard input (on a terminal
// only while in the foreground, sim_input.h), or from the --script file instead.
// Exit status: 0 after a signal, 2 for a usage error (an address, port or file it cannot use
// included), 1 for any other failure.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "tools/switch-sim/sim_commands.h"
#include "tools/switch-sim/sim_input.h"
#include "tools/switch-sim/sim_options.h"
#include "tools/switch-sim/switch_sim.h"

namespace {

// Whether the sim can take the address and port, tried on a socket of its own first so that
// the reason is known: 0 when it can; 2 (usage) when the address or port will not do; 1 else.
int CheckListen(const SwitchSimConfig& config, std::string& strWhy) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(config.wPort);
  ::inet_pton(AF_INET, config.strAddress.c_str(), &addr.sin_addr);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    strWhy = std::string("socket: ") + std::strerror(errno);
    return 1;
  }
  const int nResult = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  const int nError = errno;
  ::close(fd);
  if (nResult == 0) return 0;
  strWhy = "cannot listen on " + config.strAddress + " port " + std::to_string(config.wPort) + ": ";
  switch (nError) {
    case EADDRINUSE:
      strWhy += "the port is in use (--port 0 takes a free one)";
      return 2;
    case EADDRNOTAVAIL:
      strWhy += config.strAddress + " is no address of this machine";
      return 2;
    case EACCES:
      strWhy += "ports below 1024 need privileges";
      return 2;
    default:
      strWhy += std::strerror(nError);
      return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << SimUsage() << kSimCommandHelp;
      return 0;
    }
  }
  SwitchSimConfig config;
  bool bQuiet = false;
  bool bTrace = false;
  auto pScript = std::make_shared<std::ifstream>();
  std::string strError = ParseSimOptions(argc, argv, config, bQuiet, bTrace, *pScript);
  if (!strError.empty()) {
    std::cerr << "switch-sim: " << strError << "\n(switch-sim --help lists the options)\n";
    return 2;
  }
  if (const int nStatus = CheckListen(config, strError); nStatus != 0) {
    std::cerr << "switch-sim: " << strError << "\n";
    return nStatus;
  }
  if (!bQuiet) config.pLog = &std::cerr;
  if (bTrace) config.pTrace = stdout;

  // The signals are taken by sigwait below; the sim's thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // In the background of a terminal the sim serves on: a look at its input or a line of its log
  // must not stop it (SIGTTIN, SIGTTOU with "stty tostop").
  signal(SIGTTIN, SIG_IGN);
  signal(SIGTTOU, SIG_IGN);

  if (bTrace) {
    // Said before the sim starts, so before any dump.
    std::cout << "switch-sim: the trace shows the client's side: \"Send\" is what the switch "
                 "received, \"Recv\" what it sent\n";
  }
  SwitchSim sim(config);
  if (!sim.Start()) {
    std::cerr << "switch-sim: " << sim.GetLastError() << "\n";
    return 1;
  }
  std::cout << "switch-sim: listening on " << config.strAddress << " port " << sim.GetPort()
            << "\n";
  std::cout.flush();
  // Commands run beside the sim until their input ends; the sim runs on until a signal.
  std::thread([&sim, pScript] {
    if (pScript->is_open()) {
      RunSimCommands(sim, *pScript, std::cout);
      return;
    }
    SimInputBuffer buffer(STDIN_FILENO);
    std::istream input(&buffer);
    RunSimCommands(sim, input, std::cout);
  }).detach();
  int nSignal = 0;
  sigwait(&signals, &nSignal);
  sim.Stop();
  // The command reader may still wait on its input; leave without unwinding under it.
  std::cout.flush();
  std::_Exit(0);
}
