// In-memory form of the registry (private to the registry implementation): a tree of keys,
// each with its values in the order they were first written and its subkeys in enumeration
// order. Key and value names compare without regard to ASCII case and keep the case in
// which they were first written. Finding, adding, changing or removing a value takes constant
// time (a hash index beside the ordered list); a subkey, time logarithmic in their number.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

namespace ombix::registry {

// Longest key name component and value name, and deepest key, the platform accepts.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;
inline constexpr size_t kMaxKeyDepth = 512;  // name components below the root

// ASCII-only, locale-independent case folding.
std::string FoldCase(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
// Orders as the folded texts would order (byte by byte, unsigned).
bool LessNoCase(std::string_view a, std::string_view b);

struct Value {
  std::string name;  // empty: the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;
};

class Key {
 public:
  explicit Key(std::string name = {}) : name_(std::move(name)) {}
  Key(Key&&) = default;
  Key& operator=(Key&&) = default;

  const std::string& name() const { return name_; }

  Key* FindSubkey(std::string_view name) const;
  // The subkey of that name, added when missing (*created tells which).
  Key* FindOrAddSubkey(std::string_view name, bool* created);
  // FALSE when there is no such subkey.
  bool RemoveSubkey(std::string_view name);
  size_t SubkeyCount() const { return subkeys_.size(); }
  // The index-th subkey in enumeration order, or nullptr past the end. Constant time while no
  // subkey is added or removed.
  const Key* SubkeyAt(size_t index) const;
  template <typename F>
  void ForEachSubkey(F&& f) const {
    for (const auto& [folded, key] : subkeys_) f(*key);
  }

  const std::list<Value>& values() const { return values_; }
  const Value* FindValue(std::string_view name) const;
  // TRUE when this changed what the key holds.
  bool SetValue(std::string name, DWORD type, std::vector<BYTE> data);
  bool RemoveValue(std::string_view name);

 private:
  using ValueList = std::list<Value>;
  // values_ by name without regard to case: open addressing with linear probing, at most half
  // full, so a look-up reads a slot or two and compares names only when their hashes agree.
  class ValueIndex {
   public:
    static constexpr size_t kNone = ~size_t{0};
    ValueIndex() = default;
    ValueIndex(ValueIndex&& other) noexcept
        : slots_(std::move(other.slots_)), count_(std::exchange(other.count_, 0)) {}
    ValueIndex& operator=(ValueIndex&& other) noexcept {
      slots_ = std::move(other.slots_);
      count_ = std::exchange(other.count_, 0);
      return *this;
    }
    // The slot holding that name, or kNone; *hash (when given) receives the name's hash.
    size_t Find(std::string_view name, size_t* hash = nullptr) const;
    ValueList::iterator At(size_t slot) const { return slots_[slot].value; }
    void Insert(ValueList::iterator value, size_t hash);  // a name not held yet
    void Erase(size_t slot);

   private:
    struct Slot {
      size_t hash = 0;  // 0: empty (a name's hash is never 0)
      ValueList::iterator value;
    };
    static size_t Hash(std::string_view name);
    void Place(const Slot& slot);
    std::vector<Slot> slots_;  // a power of two in size
    size_t count_ = 0;
  };
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return LessNoCase(a, b); }
  };

  std::string name_;
  ValueList values_;  // in first-written order
  ValueIndex value_index_;
  std::map<std::string, std::unique_ptr<Key>, NameLess> subkeys_;  // by folded name
  mutable std::vector<const Key*> subkey_order_;  // subkeys_ in order, rebuilt after a change
  mutable bool subkey_order_valid_ = false;
};

// A key's place below the root: its name components.
using KeyPath = std::vector<std::string>;

// Splits "A\B\C" into components. An empty text is the key itself (no components). FALSE for
// an empty component, a component longer than kMaxKeyNameLength or one with a control character,
// or more than kMaxKeyDepth components.
bool SplitKeyPath(std::string_view text, KeyPath* path);
// TRUE when the name can be stored (length and no line breaks or NULs).
bool IsValidValueName(std::string_view name);

const Key* FindKey(const Key& root, const KeyPath& path);
Key* FindKey(Key& root, const KeyPath& path);

}  // namespace ombix::registry
