// In-memory form of the registry (private to the registry implementation): a tree of keys,
// each with its values in the order they were first written and its subkeys in enumeration
// order. Key and value names compare without regard to ASCII case and keep the case in
// which they were first written.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
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

struct Value {
  std::string name;  // empty: the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;
};

class Key {
 public:
  explicit Key(std::string name = {}) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }

  Key* FindSubkey(std::string_view name) const;
  // The subkey of that name, added when missing (*created tells which).
  Key* FindOrAddSubkey(std::string_view name, bool* created);
  // FALSE when there is no such subkey.
  bool RemoveSubkey(std::string_view name);
  size_t SubkeyCount() const { return subkeys_.size(); }
  // The index-th subkey in enumeration order, or nullptr past the end.
  const Key* SubkeyAt(size_t index) const;
  template <typename F>
  void ForEachSubkey(F&& f) const {
    for (const auto& [folded, key] : subkeys_) f(*key);
  }

  const std::vector<Value>& values() const { return values_; }
  const Value* FindValue(std::string_view name) const;
  // TRUE when this changed what the key holds.
  bool SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
  bool RemoveValue(std::string_view name);

 private:
  std::string name_;
  std::vector<Value> values_;
  std::map<std::string, std::unique_ptr<Key>> subkeys_;  // by folded name
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
