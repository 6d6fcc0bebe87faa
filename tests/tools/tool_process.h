// A tool run as its users run it: its own process, with arguments, an environment and standard
// input given, and its standard output, standard error and exit status collected; either on
// pipes or on a pseudo-terminal of its own, as a user at a terminal runs it.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
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

// What a process writes on its standard output and error, read as it comes; no read waits
// longer than a minute, far beyond any healthy run, so that a hung tool fails its test with what
// it wrote rather than stopping the suite. The end of both is seen at once.
class OutputReader {
 public:
  OutputReader() = default;
  ~OutputReader();
  OutputReader(const OutputReader&) = delete;
  OutputReader& operator=(const OutputReader&) = delete;

  // Reads from `out` and `err` (-1: none) from now on, and closes them at their end.
  void Attach(int out, int err) {
    out_ = out;
    err_ = err;
  }
  // Reads until the output from `from` on holds `text`, the outputs end or a minute has passed;
  // where `text` starts, or npos. `idle`, when given, runs whenever nothing has come for a fifth
  // of a second (for a tool that prints what it queued only when asked).
  size_t WaitFor(const std::string& text, size_t from = 0,
                 const std::function<void()>& idle = nullptr);
  // Reads until the output holds a whole line with `text`; that line, or empty.
  std::string ReadLineWith(const std::string& text);
  // Reads until the error output holds `text`; whether it came.
  bool ReadErrorUntil(const std::string& text);
  // Reads both outputs to their end, a minute at most; whether they ended.
  bool ReadToEnd();
  bool Ended() const { return out_ < 0 && err_ < 0; }

  std::string out;
  std::string err;

 private:
  // Reads what is there, waiting until the deadline at most; false when nothing came by then or
  // both outputs have ended.
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  int out_ = -1;
  int err_ = -1;
};

// A pseudo-terminal of 80 columns and 24 rows; its master side (-1 when none could be had), and
// the name of its terminal side in `name`.
int OpenTerminal(std::string& name);

class ToolProcess {
 public:
  enum class Streams {
    kPipes,     // standard input, output and error each on a pipe
    kTerminal,  // all three on a pseudo-terminal that is the tool's controlling terminal, in a
                // session of its own; what it writes is all in the output
  };
  // Starts `path` with `args`; the environment is this process's, with HOME, XDG_CONFIG_HOME
  // and OMBIX_REGISTRY taken out and `env` ("NAME" -> value) put in.
  ToolProcess(const std::string& path, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env, Streams streams = Streams::kPipes);
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // What is written on a terminal is typed at it.
  void Write(const std::string& text);
  void CloseInput();
  // Reads until standard output holds `text`, ends, or a minute has passed; whether it came.
  bool ReadUntil(const std::string& text) { return WaitFor(text) != std::string::npos; }
  size_t WaitFor(const std::string& text, size_t from = 0,
                 const std::function<void()>& idle = nullptr) {
    return output_.WaitFor(text, from, idle);
  }
  std::string ReadLineWith(const std::string& text) { return output_.ReadLineWith(text); }
  bool ReadErrorUntil(const std::string& text) { return output_.ReadErrorUntil(text); }
  const std::string& Output() const { return output_.out; }
  void Signal(int signal) { kill(pid_, signal); }
  pid_t Pid() const { return pid_; }
  // The master side of the tool's terminal, open until this is destroyed; -1 on pipes.
  int Terminal() const { return terminal_; }
  // Closes standard input (on a terminal the tool must end by itself), reads both outputs to
  // their end and waits for the exit; a tool whose outputs have not ended within a minute is
  // killed.
  ToolResult Finish();

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int terminal_ = -1;
  OutputReader output_;
  ToolResult result_;
};

// Runs the tool to its end with `input` as standard input.
inline ToolResult RunTool(const std::string& path, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env, const std::string& input) {
  ToolProcess tool(path, args, env);
  tool.Write(input);
  return tool.Finish();
}

}  // namespace tooltest
