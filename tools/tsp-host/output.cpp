// Ordered output of tsp-host.
#include "tools/tsp-host/output.h"

#include <cstdio>
#include <deque>
#include <mutex>

namespace tsphost {
namespace {

std::mutex g_mutex;  // guards the queue and standard output
std::deque<std::string> g_queue;

void WriteLocked(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  WriteLocked(line);
  std::fflush(stdout);
}

void QueueLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_queue.push_back(line);
}

void FlushQueuedLines() {
  std::lock_guard<std::mutex> lock(g_mutex);
  while (!g_queue.empty()) {
    WriteLocked(g_queue.front());
    g_queue.pop_front();
  }
  std::fflush(stdout);
}

}  // namespace tsphost
