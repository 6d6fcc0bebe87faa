#include "provider/ombix_monitor_index.h"

#include <algorithm>

void COmbixMonitorIndex::Change(COmbixLine* pLine, DWORD dwLineIndex, DWORD dwOldID,
                                DWORD dwNewID) {
  if (pLine == nullptr || dwOldID == dwNewID) return;
  std::lock_guard<std::mutex> lock(m_mx);
  if (dwOldID != 0) {
    auto it = m_map.find(dwOldID);
    if (it != m_map.end()) {
      Holders& holders = it->second;
      std::erase_if(holders, [pLine](const HOLDER& holder) { return holder.pLine == pLine; });
      if (holders.empty()) m_map.erase(it);
    }
  }
  if (dwNewID != 0) {
    Holders& holders = m_map[dwNewID];
    const auto pos = std::upper_bound(
        holders.begin(), holders.end(), dwLineIndex,
        [](DWORD dwIndex, const HOLDER& holder) { return dwIndex < holder.dwLineIndex; });
    holders.insert(pos, HOLDER{dwLineIndex, pLine});
  }
}

COmbixLine* COmbixMonitorIndex::Find(DWORD dwMonitorID) const {
  if (dwMonitorID == 0) return nullptr;
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_map.find(dwMonitorID);
  return it != m_map.end() && !it->second.empty() ? it->second.front().pLine : nullptr;
}

void COmbixMonitorIndex::Clear() {
  std::lock_guard<std::mutex> lock(m_mx);
  m_map.clear();
}

size_t COmbixMonitorIndex::GetCount() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_map.size();
}
