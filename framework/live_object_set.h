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

  // Runs fn on the object while it is held in the set, so that fn can take a reference before
  // anyone may remove and free it. False, without calling fn, when it is not contained.
  template <typename Fn>
  bool WithLive(const void* p, Fn&& fn) const {
    if (p == nullptr) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_objects.find(static_cast<const T*>(p));
    if (it == m_objects.end()) return false;
    fn(const_cast<T*>(*it));
    return true;
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
