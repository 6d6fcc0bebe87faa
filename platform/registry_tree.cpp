#include "platform/registry_tree.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace ombix::registry {

namespace {

char FoldChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldChar);
  return folded;
}

bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldChar(x)) < static_cast<unsigned char>(FoldChar(y));
  });
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldChar(x) == FoldChar(y);
         });
}

Key* Key::FindSubkey(std::string_view name) const {
  auto it = subkeys_.find(name);
  return it == subkeys_.end() ? nullptr : it->second.get();
}

Key* Key::FindOrAddSubkey(std::string_view name, bool* created) {
  auto it = subkeys_.find(name);
  const bool inserted = it == subkeys_.end();
  if (inserted) {
    it = subkeys_.emplace(FoldCase(name), std::make_unique<Key>(std::string(name))).first;
    subkey_order_valid_ = false;
  }
  if (created) *created = inserted;
  return it->second.get();
}

bool Key::RemoveSubkey(std::string_view name) {
  auto it = subkeys_.find(name);
  if (it == subkeys_.end()) return false;
  subkeys_.erase(it);
  subkey_order_valid_ = false;
  return true;
}

const Key* Key::SubkeyAt(size_t index) const {
  if (index >= subkeys_.size()) return nullptr;
  if (!subkey_order_valid_) {
    subkey_order_.clear();
    subkey_order_.reserve(subkeys_.size());
    for (const auto& [folded, key] : subkeys_) subkey_order_.push_back(key.get());
    subkey_order_valid_ = true;
  }
  return subkey_order_[index];
}

size_t Key::ValueIndex::Hash(std::string_view name) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a, then mixed so that the low bits vary
  for (char c : name) {
    hash ^= static_cast<unsigned char>(FoldChar(c));
    hash *= 1099511628211ull;
  }
  hash ^= hash >> 29;
  // 0 marks an empty slot; every other hash keeps its low bits, which choose the home slot.
  return hash != 0 ? static_cast<size_t>(hash) : 1;
}

size_t Key::ValueIndex::Find(std::string_view name, size_t* hash_out) const {
  const size_t hash = Hash(name);
  if (hash_out) *hash_out = hash;
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask; slots_[i].hash != 0; i = (i + 1) & mask) {
    if (slots_[i].hash == hash && EqualNoCase(slots_[i].value->name, name)) return i;
  }
  return kNone;
}

void Key::ValueIndex::Place(const Slot& slot) {
  const size_t mask = slots_.size() - 1;
  size_t i = slot.hash & mask;
  while (slots_[i].hash != 0) i = (i + 1) & mask;
  slots_[i] = slot;
}

void Key::ValueIndex::Insert(ValueList::iterator value, size_t hash) {
  if ((count_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(8, old.size() * 2), Slot());
    for (const Slot& slot : old) {
      if (slot.hash != 0) Place(slot);
    }
  }
  Place(Slot{hash, value});
  ++count_;
}

void Key::ValueIndex::Erase(size_t slot) {
  // Moves back the entries after it that would no longer be found past the gap.
  const size_t mask = slots_.size() - 1;
  size_t gap = slot;
  for (size_t i = (gap + 1) & mask; slots_[i].hash != 0; i = (i + 1) & mask) {
    const size_t home = slots_[i].hash & mask;
    // Whether home lies cyclically in (gap, i]: then the entry stays where it is.
    const bool stays = gap < i ? (home > gap && home <= i) : (home > gap || home <= i);
    if (!stays) {
      slots_[gap] = slots_[i];
      gap = i;
    }
  }
  slots_[gap] = Slot();
  --count_;
}

const Value* Key::FindValue(std::string_view name) const {
  const size_t slot = value_index_.Find(name);
  return slot == ValueIndex::kNone ? nullptr : &*value_index_.At(slot);
}

bool Key::SetValue(std::string name, DWORD type, std::vector<BYTE> data) {
  size_t hash = 0;
  const size_t slot = value_index_.Find(name, &hash);
  if (slot != ValueIndex::kNone) {
    Value& value = *value_index_.At(slot);
    if (value.type == type && value.data == data) return false;
    value.type = type;
    value.data = std::move(data);
    return true;
  }
  values_.push_back(Value{std::move(name), type, std::move(data)});
  value_index_.Insert(std::prev(values_.end()), hash);
  return true;
}

bool Key::RemoveValue(std::string_view name) {
  const size_t slot = value_index_.Find(name);
  if (slot == ValueIndex::kNone) return false;
  const ValueList::iterator value = value_index_.At(slot);
  value_index_.Erase(slot);
  values_.erase(value);
  return true;
}

bool SplitKeyPath(std::string_view text, KeyPath* path) {
  path->clear();
  if (text.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\\', start);
    std::string_view part = text.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part.size() > kMaxKeyNameLength) return false;
    for (char c : part) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    }
    if (path->size() == kMaxKeyDepth) return false;
    path->emplace_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool IsValidValueName(std::string_view name) {
  return name.size() <= kMaxValueNameLength && std::none_of(name.begin(), name.end(), [](char c) {
           return c == '\0' || c == '\r' || c == '\n';
         });
}

const Key* FindKey(const Key& root, const KeyPath& path) {
  const Key* key = &root;
  for (const std::string& part : path) {
    key = key->FindSubkey(part);
    if (!key) return nullptr;
  }
  return key;
}

Key* FindKey(Key& root, const KeyPath& path) {
  return const_cast<Key*>(FindKey(static_cast<const Key&>(root), path));
}

}  // namespace ombix::registry
