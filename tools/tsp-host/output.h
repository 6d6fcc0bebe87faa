// tsp-host's standard output. The main thread prints what it does; the provider's callbacks,
// which may run on any thread, queue their lines, and the main thread prints the queue at fixed
// points (after each command, during a wait). So a transcript does not depend on thread timing
// as long as the script waits for what it expects.
#pragma once

#include <string>

namespace tsphost {

// Prints one line now (main thread).
void PrintLine(const std::string& line);
// Keeps one line for the next FlushQueuedLines (any thread).
void QueueLine(const std::string& line);
// Prints the queued lines in the order they were queued.
void FlushQueuedLines();

}  // namespace tsphost
