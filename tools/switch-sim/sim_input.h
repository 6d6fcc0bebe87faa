// switch-sim's standard input for its commands, read so that the sim keeps serving when started
// in the background of a terminal.
//
// A process that reads the terminal while its process group is not the terminal's foreground
// group is stopped (SIGTTIN), and a stopped sim answers nobody. So on a terminal the buffer
// reads only while the sim is in the foreground; in the background it looks again every recheck
// interval, and takes the commands once the sim is brought to the foreground. The program ignores
// SIGTTIN as well, so that a move to the background between the look and the read costs a retry,
// not a stop. Any other input (a pipe, a file, /dev/null) is read as it comes. The end of the
// input (Ctrl-D on a terminal) ends the commands, not the sim.
#pragma once

#include <chrono>
#include <streambuf>

class SimInputBuffer : public std::streambuf {
 public:
  explicit SimInputBuffer(int fd,
                          std::chrono::milliseconds recheck = std::chrono::milliseconds(200));

 protected:
  int_type underflow() override;

 private:
  // Whether fd is this process's controlling terminal and another process group holds it.
  bool InBackground() const;

  const int m_fd;
  const bool m_bTerminal;
  const int m_nRecheckMs;
  char m_buffer[4096];
};
