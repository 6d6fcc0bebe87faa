#include "platform/registry_tree.h"

#include <algorithm>
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

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldChar(x) == FoldChar(y);
         });
}

Key* Key::FindSubkey(std::string_view name) const {
  auto it = subkeys_.find(FoldCase(name));
  return it == subkeys_.end() ? nullptr : it->second.get();
}

Key* Key::FindOrAddSubkey(std::string_view name, bool* created) {
  auto [it, inserted] = subkeys_.try_emplace(FoldCase(name));
  if (inserted) it->second = std::make_unique<Key>(std::string(name));
  if (created) *created = inserted;
  return it->second.get();
}

bool Key::RemoveSubkey(std::string_view name) {
  return subkeys_.erase(FoldCase(name)) != 0;
}

const Key* Key::SubkeyAt(size_t index) const {
  if (index >= subkeys_.size()) return nullptr;
  return std::next(subkeys_.begin(), static_cast<std::ptrdiff_t>(index))->second.get();
}

const Value* Key::FindValue(std::string_view name) const {
  for (const Value& value : values_) {
    if (EqualNoCase(value.name, name)) return &value;
  }
  return nullptr;
}

bool Key::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
  for (Value& value : values_) {
    if (!EqualNoCase(value.name, name)) continue;
    if (value.type == type && value.data == data) return false;
    value.type = type;
    value.data = std::move(data);
    return true;
  }
  values_.push_back(Value{std::string(name), type, std::move(data)});
  return true;
}

bool Key::RemoveValue(std::string_view name) {
  auto it = std::find_if(values_.begin(), values_.end(),
                         [&](const Value& value) { return EqualNoCase(value.name, name); });
  if (it == values_.end()) return false;
  values_.erase(it);
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
  return name.size() <= kMaxValueNameLength &&
         name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
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
