// COmbixMonitorIndex: the device's map from a switch monitor ID to the lines that hold it, so
// that an event finds its line in constant time, whatever the line count.
//
// Contract:
// - A line tells the index of every change of its monitor ID (0: none), under its own lock,
//   so the index always agrees with the IDs the lines hold.
// - Find gives the first line in index order that holds the ID. The lines of a device never
//   share one (a line given an ID that another holds takes it from that line first), but the
//   index does not count on it: were two to hold one, the lower index would win, as a walk of
//   the lines would find it, and the next holder be found once it lets go. ID 0 is never found.
// - A mutex of its own guards the map; it is the last lock taken and nothing is called while it
//   is held. The lines are not locked by a look-up. Thread-safe.
#pragma once

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/wintypes.h"

class COmbixLine;

class COmbixMonitorIndex {
 public:
  // The line at dwLineIndex held dwOldID and holds dwNewID from now on.
  void Change(COmbixLine* pLine, DWORD dwLineIndex, DWORD dwOldID, DWORD dwNewID);
  // The first line in index order holding the ID; NULL for 0 or an ID no line holds.
  COmbixLine* Find(DWORD dwMonitorID) const;
  // Every line lets go of its ID (the lines are going).
  void Clear();
  // The number of distinct IDs held.
  size_t GetCount() const;

 private:
  struct HOLDER {
    DWORD dwLineIndex;
    COmbixLine* pLine;
  };
  // Holders of one ID in index order: almost always one.
  using Holders = std::vector<HOLDER>;

  mutable std::mutex m_mx;
  std::unordered_map<DWORD, Holders> m_map;  // under m_mx
};
