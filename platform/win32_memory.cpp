// Memory checks over the kernel's record of this process's mappings (/proc/self/maps), so that
// a pointer is judged without touching it: no fault, and no write that could race with another
// thread's use of the memory.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace {

// One mapping of the memory map: [begin, end) and whether it may be written.
struct MapRange {
  uintptr_t begin = 0;
  uintptr_t end = 0;
  bool writable = false;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "begin-end perms ..." (addresses in lower-case hex, perms like "rw-p"); only the start of the
// line is needed.
bool ParseMapLine(const char* line, size_t length, MapRange* range) {
  size_t pos = 0;
  auto number = [&](uintptr_t* value) {
    const size_t start = pos;
    *value = 0;
    for (int digit = 0; pos < length && (digit = HexDigit(line[pos])) >= 0; ++pos) {
      *value = *value * 16 + static_cast<uintptr_t>(digit);
    }
    return pos > start;
  };
  if (!number(&range->begin) || pos >= length || line[pos++] != '-') return false;
  if (!number(&range->end) || pos >= length || line[pos++] != ' ') return false;
  if (pos + 1 >= length) return false;
  range->writable = line[pos + 1] == 'w';
  return true;
}

// Walks the map (its lines come in address order) until [begin, end) is known to be covered by
// writable mappings without a gap, or not.
bool RangeIsWritable(int fd, uintptr_t begin, uintptr_t end) {
  uintptr_t covered = begin;  // every byte below is writable
  char buffer[4096];
  char line[80];  // the start of the current line; the rest (the file name) is not needed
  size_t line_length = 0;
  while (true) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    for (ssize_t i = 0; i < count; ++i) {
      if (buffer[i] != '\n') {
        if (line_length < sizeof line) line[line_length++] = buffer[i];
        continue;
      }
      MapRange range;
      const bool parsed = ParseMapLine(line, line_length, &range);
      line_length = 0;
      if (!parsed || range.end <= covered) continue;
      if (range.begin > covered || !range.writable) return false;
      covered = range.end;
      if (covered >= end) return true;
    }
  }
}

}  // namespace

BOOL IsBadWritePtr(LPVOID lp, UINT_PTR ucb) {
  if (ucb == 0) return FALSE;
  const auto begin = reinterpret_cast<uintptr_t>(lp);
  if (lp == nullptr || ucb > UINTPTR_MAX - begin) return TRUE;
  const int saved_errno = errno;
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  // Without the map nothing can be vouched for.
  const bool writable = fd >= 0 && RangeIsWritable(fd, begin, begin + ucb);
  if (fd >= 0) close(fd);
  errno = saved_errno;
  return writable ? FALSE : TRUE;
}
