// tsp-host: plays the telephony service for a provider library, so that the provider runs and
// can be tried here. It loads the library by path, hands in its own callbacks and runs commands
// from a script file or typed at a prompt, printing every result and callback by name.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/commands.h"
#include "tools/tsp-host/interrupt.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"
#include "tools/tsp-host/provider_library.h"
#include "tools/tsp-host/terminal_input.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr DWORD kDefaultWaitMsecs = 10000;

constexpr char kUsage[] =
    "usage: tsp-host [--provider] PATH [--registry FILE] [--script FILE] [--wait MSECS]\n"
    "                [--strict] [--dialogs SPEC] [COMMAND [ARG...]]\n"
    "\n"
    "  PATH             the provider library (e.g. OMBIX.TSP)\n"
    "  COMMAND          run this one command instead of a script\n"
    "  --registry FILE  the registry file that the provider and the installed-provider\n"
    "                   list of install and remove use (sets OMBIX_REGISTRY)\n"
    "  --script FILE    run the commands of FILE (default: standard input); each command\n"
    "                   is printed as it runs ('> COMMAND'), each '#' comment line as it\n"
    "                   comes, the provider's events and completions after each command\n"
    "                   and during wait and sleep. From a terminal, the commands are read\n"
    "                   at a prompt ('tsp> ') and events and completions are printed\n"
    "                   above it as they come\n"
    "  --wait MSECS     how long 'wait' waits by default (10000)\n"
    "  --strict         stop at the first line that fails: no valid command, or a TAPI\n"
    "                   error from the provider (a call's result or a completion), so that\n"
    "                   a script can serve as a check\n"
    "  --dialogs SPEC   who plays the user of the provider's dialogs and message boxes:\n"
    "                   text (this terminal: standard input and output), script:FILE\n"
    "                   (the steps of FILE) or none (dialogs are not shown); sets\n"
    "                   OMBIX_DIALOGS. With text, the commands come from the command line,\n"
    "                   --script or a terminal, as the dialogs read standard input\n"
    "\n"
    "Ctrl-C (SIGINT) or SIGTERM stops the provider (providerShutdown of what init started),\n"
    "unloads it and ends, once the provider call in progress has returned; a second one, of\n"
    "either kind, ends at once.\n"
    "Exit status: 0 every line ran (with --strict: and no TAPI error came), 1 the library\n"
    "or the script could not be read, a line was no valid command, --strict stopped the\n"
    "script, or the dialog script reported a failure or left steps unplayed (with or\n"
    "without --strict), 2 usage error, 128+N ended by signal N (130 SIGINT, 143 SIGTERM).\n"
    "\n";

struct Options {
  std::string provider;
  std::string registry;
  std::string script;
  std::string dialogs;
  std::string command;  // the words after PATH, one command
  DWORD dwWaitMsecs = kDefaultWaitMsecs;
  bool bStrict = false;
};

int Usage(const std::string& message) {
  std::fprintf(stderr, "tsp-host: %s\n\n%s%s", message.c_str(), kUsage, tsphost::CommandHelp());
  return kExitUsage;
}

// 0 when the options are good, else the exit status.
int ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(tsphost::CommandHelp(), stdout);
      return -1;
    }
    if (arg == "--strict") {
      options.bStrict = true;
      continue;
    }
    if (arg == "--provider" || arg == "--registry" || arg == "--script" || arg == "--wait" ||
        arg == "--dialogs") {
      std::string text;
      if (!value(text)) return Usage(arg + " needs a value");
      if (arg == "--provider") options.provider = text;
      if (arg == "--dialogs") {
        if (text != "text" && text != "none" && text.rfind("script:", 0) != 0) {
          return Usage("--dialogs takes text, script:FILE or none");
        }
        options.dialogs = text;
      }
      if (arg == "--registry") options.registry = text;
      if (arg == "--script") options.script = text;
      if (arg == "--wait") {
        char* pEnd = nullptr;
        const unsigned long msecs = std::strtoul(text.c_str(), &pEnd, 10);
        if (text.empty() || *pEnd != '\0' || msecs > 0xFFFFFFFFul) {
          return Usage("--wait needs a number of milliseconds");
        }
        options.dwWaitMsecs = static_cast<DWORD>(msecs);
      }
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (options.provider.empty()) {
      options.provider = arg;
    } else {
      options.command += (options.command.empty() ? "" : " ") + arg;
    }
  }
  if (options.provider.empty()) return Usage("no provider library given");
  if (!options.command.empty() && !options.script.empty()) {
    return Usage("a command and --script given; take one");
  }
  if (options.dialogs.rfind("script:", 0) == 0 && access(options.dialogs.c_str() + 7, R_OK) != 0) {
    std::fprintf(stderr, "tsp-host: cannot read the dialog script %s: %s\n",
                 options.dialogs.c_str() + 7, std::strerror(errno));
    return kExitFailed;
  }
  // Both would read standard input, and the commands' reader would take the dialogs' lines.
  if (options.dialogs == "text" && options.command.empty() && options.script.empty() &&
      !isatty(STDIN_FILENO)) {
    return Usage("--dialogs text reads standard input: give the command after PATH or --script");
  }
  return 0;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Runs the commands of the input until its end, quit, a signal or (bStrict) the first failure;
// false when a line was no valid command, reading failed or (bStrict) a TAPI error came. A
// script's lines are printed as they run, its comments as they come, so that its output tells
// its own story; at a prompt, what was typed is on the screen already.
bool RunCommands(int fd, const std::string& source, bool bInteractive, bool bStrict,
                 tsphost::HostSession& session) {
  tsphost::InputLines input(fd);
  tsphost::TerminalInput terminal(fd, "tsp> ");
  bool bAllGood = true;
  std::string line;
  for (;;) {
    tsphost::FlushQueuedLines();
    // A signal that ended a wait or a sleep ends the run before another prompt is drawn.
    if (tsphost::InterruptSignal() != 0) break;
    if (bStrict && tsphost::FormattedErrors() != 0) {
      tsphost::PrintLine("stopped: --strict, and the provider reported an error");
      bAllGood = false;
      break;
    }
    const tsphost::InputLines::Result result =
        bInteractive ? terminal.Next(line) : input.Next(line);
    if (result == tsphost::InputLines::Result::kError) {
      std::fprintf(stderr, "tsp-host: cannot read %s: %s\n", source.c_str(), std::strerror(errno));
      bAllGood = false;
    }
    if (result != tsphost::InputLines::Result::kLine) break;
    // What came while the line was awaited came before it.
    tsphost::FlushQueuedLines();
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    if (line[first] == '#') {
      if (!bInteractive)
        tsphost::PrintLine(line.substr(first, line.find_last_not_of(" \t\r") + 1 - first));
      continue;
    }
    const tsphost::CommandStatus status =
        session.Execute(line, bInteractive ? std::string() : "> " + line.substr(first));
    if (status == tsphost::CommandStatus::kQuit) break;
    if (status == tsphost::CommandStatus::kError) {
      bAllGood = false;
      if (bStrict) {
        tsphost::PrintLine("stopped: --strict, and the line was no valid command");
        break;
      }
    }
  }
  return bAllGood;
}

// The one command of the command line; false when it is no valid command or (bStrict) a TAPI
// error came.
bool RunCommand(const std::string& command, bool bStrict, tsphost::HostSession& session) {
  const tsphost::CommandStatus status = session.Execute(command, "> " + command);
  tsphost::FlushQueuedLines();
  if (status == tsphost::CommandStatus::kError) return false;
  return !(bStrict && tsphost::FormattedErrors() != 0);
}

// With a dialog script, a file that its failures, and the steps it leaves unplayed, are reported
// to as well as to standard error; -1 without one, or with the reason printed when none can be
// made.
int DialogReport(bool& bFailed) {
  bFailed = false;
  const char* pszSpec = std::getenv("OMBIX_DIALOGS");
  if (pszSpec == nullptr || std::strncmp(pszSpec, "script:", 7) != 0) return -1;
  const int fd = memfd_create("tsp-host dialog report", MFD_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "tsp-host: cannot follow the dialog script: %s\n", std::strerror(errno));
    bFailed = true;
    return -1;
  }
  setenv("OMBIX_DIALOGS_REPORT", std::to_string(fd).c_str(), 1);
  return fd;
}

// Whether the dialog script reported anything; closes the report.
bool DialogScriptFailed(int fdReport) {
  if (fdReport < 0) return false;
  struct stat st;
  const bool bReported = fstat(fdReport, &st) != 0 || st.st_size > 0;
  close(fdReport);
  return bReported;
}

// The script's descriptor, or -1 with the reason printed.
int OpenScript(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int error = errno;
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    error = EISDIR;
  } else if (fd >= 0) {
    return fd;
  }
  std::fprintf(stderr, "tsp-host: cannot read the script %s: %s\n", path.c_str(),
               std::strerror(error));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int rcOptions = ParseOptions(argc, argv, options);
  if (rcOptions < 0) return kExitOk;
  if (rcOptions > 0) return rcOptions;
  if (!options.registry.empty()) setenv("OMBIX_REGISTRY", options.registry.c_str(), 1);
  // Read by the library when it first shows a dialog (a script a host follows: when it loads).
  if (!options.dialogs.empty()) setenv("OMBIX_DIALOGS", options.dialogs.c_str(), 1);
  bool bNoReport = false;
  const int fdDialogReport = DialogReport(bNoReport);
  if (bNoReport) return kExitFailed;

  int fdScript = STDIN_FILENO;
  if (!options.script.empty()) {
    fdScript = OpenScript(options.script);
    if (fdScript < 0) return kExitFailed;
  }
  if (!tsphost::InstallInterruptHandlers()) {
    std::fprintf(stderr, "tsp-host: cannot handle signals: %s\n", std::strerror(errno));
    return kExitFailed;
  }

  tsphost::ProviderLibrary library;
  std::string error;
  if (!library.Load(options.provider, error)) {
    std::fprintf(stderr, "tsp-host: cannot load %s: %s\n", options.provider.c_str(), error.c_str());
    return kExitFailed;
  }
  const std::string name = BaseName(options.provider);
  tsphost::PrintLine("loaded " + name + ": " + std::to_string(library.Found().size()) + " of " +
                     std::to_string(library.Found().size() + library.Missing().size()) +
                     " TSPI_/TUISPI_ functions");
  for (const std::string& missing : library.Missing()) tsphost::PrintLine("  missing " + missing);
  tsphost::TapiSide::Get().SetExports(&library.Exports());

  const char* pszRegistryEnv = std::getenv("OMBIX_REGISTRY");
  const std::string registrySource = !options.registry.empty() ? "given by --registry"
                                     : pszRegistryEnv != nullptr && *pszRegistryEnv != '\0'
                                         ? "from OMBIX_REGISTRY"
                                         : "the default";
  tsphost::HostSession session(library, options.dwWaitMsecs, registrySource);
  bool bAllGood = true;
  if (!options.command.empty()) {
    bAllGood = RunCommand(options.command, options.bStrict, session);
  } else {
    // The line editor draws on the terminal: only when both ends of the session are one.
    const bool bInteractive =
        options.script.empty() && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    bAllGood = RunCommands(fdScript, options.script.empty() ? "standard input" : options.script,
                           bInteractive, options.bStrict, session);
  }
  if (fdScript != STDIN_FILENO) close(fdScript);

  const int nSignal = tsphost::InterruptSignal();
  if (nSignal != 0) {
    tsphost::PrintLine("interrupted by " + tsphost::InterruptName(nSignal) +
                       ": stopping the provider");
    session.ShutdownStarted();
  }
  // Unloading shuts down whatever the script left running; its callbacks still reach us.
  library.Unload();
  tsphost::FlushQueuedLines();
  tsphost::TapiSide::Get().SetExports(nullptr);
  tsphost::PrintLine("unloaded " + name);
  // The module's end reported the steps left unplayed.
  if (DialogScriptFailed(fdDialogReport)) bAllGood = false;
  if (nSignal != 0) return 128 + nSignal;
  // A completion that came after the last command still fails a strict run.
  if (options.bStrict && tsphost::FormattedErrors() != 0) bAllGood = false;
  return bAllGood ? kExitOk : kExitFailed;
}
