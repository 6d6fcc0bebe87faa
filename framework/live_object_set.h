// CLiveObjectSet<T>: a thread-safe set of the objects of one kind that are alive, so that a
// handle handed to us from outside can be checked without being dereferenced: NULL and any
// pointer never added (or removed since) are not contained. An object adds itself when it is
// ready to be reached and removes itself before it goes; a positive answer says only that the
// object was live at the time of asking.
#pragma once

#include <mutex>
#include <unordered_set>

template <typename T>
class CLiveObjectSet {
 public:
  void Add(const T* p) {
    if (p == nullptr) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_objects.insert(p);
  }

  void Remove(const T* p) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_objects.erase(p);
  }

  bool Contains(const void* p) const {
    if (p == nullptr) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_objects.count(static_cast<const T*>(p)) != 0;
  }

 private:
  mutable std::mutex m_mutex;
  std::unordered_set<const T*> m_objects;
};
