// tsp-host's standard output. The main thread prints what it does; the provider's callbacks,
// which may run on any thread, queue their lines, and the main thread prints the queue at fixed
// points (after each command, during a wait or a sleep, and while a prompt on a terminal waits
// for input). So a transcript does not depend on thread timing as long as the script waits for
// what it expects, and no provider thread ever waits for the terminal.
//
// At a prompt on a terminal, lines printed while the user types go above the prompt, which is
// then drawn again with what was typed so far.
#pragma once

#include <deque>
#include <string>

namespace tsphost {

// Prints one line now (main thread).
void PrintLine(const std::string& line);
// Prints a line cut at a readable width, its continuation lines indented (main thread).
void PrintWrapped(const std::string& line);
// Keeps one line for the next FlushQueuedLines (any thread).
void QueueLine(const std::string& line);
// Prints the queued lines in the order they were queued.
void FlushQueuedLines();
// The same in two steps (main thread), for a caller that takes the queue in one step with state
// of its own and prints it after letting go of that state's lock: lines queued in between follow
// these, at the next flush.
std::deque<std::string> TakeQueuedLines();
void PrintQueuedLines(std::deque<std::string> lines);

// The prompt (main thread): shown with what was typed, drawn again with new text, and left
// for a new line.
void ShowPrompt(const std::string& prompt, const std::string& typed);
void UpdatePrompt(const std::string& typed);
void EndPrompt();
// A descriptor that becomes readable when a line is queued while the prompt is shown; the
// waiting side drains it (DrainQueueWakeups) and prints the queue. -1 when it could not be
// made, and the queue waits for the next command.
int QueueWakeupFd();
void DrainQueueWakeups();

}  // namespace tsphost
