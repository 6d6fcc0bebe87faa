// A tool run as its users run it: its own process, with arguments, an environment and standard
// input given, and its standard output, standard error and exit status collected.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace tooltest {

struct ToolResult {
  int exit_code = -1;  // -1 when a signal ended it
  int signal = 0;      // the signal that ended it, else 0
  std::string out;
  std::string err;
};

class ToolProcess {
 public:
  // Starts `path` with `args`; the environment is this process's, with HOME, XDG_CONFIG_HOME
  // and OMBIX_REGISTRY taken out and `env` ("NAME" -> value) put in.
  ToolProcess(const std::string& path, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env);
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  void Write(const std::string& text);
  void CloseInput();
  // Reads until standard output holds `text`, ends, or a minute has passed; whether it came.
  bool ReadUntil(const std::string& text);
  // Reads until standard output holds a whole line with `text` (a minute at most); that line, or
  // empty.
  std::string ReadLineWith(const std::string& text);
  void Signal(int signal);
  // Closes standard input, reads both outputs to their end and waits for the exit; a tool whose
  // outputs have not ended within a minute is killed.
  ToolResult Finish();

 private:
  // Reads what is there, waiting until the deadline at most; false once both outputs ended or
  // the deadline passed.
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  ToolResult result_;
};

// Runs the tool to its end with `input` as standard input.
ToolResult RunTool(const std::string& path, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const std::string& input);

}  // namespace tooltest
