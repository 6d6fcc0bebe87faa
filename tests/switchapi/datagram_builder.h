// Test-side datagram building, written apart from the product's writer so that decoder tests do
// not depend on the encoder they would otherwise share a fault with.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "switchapi/ombix_wire.h"

class TestDatagram {
 public:
  TestDatagram() = default;
  TestDatagram(std::uint32_t seq, std::uint32_t type) { U32(seq).U32(type); }

  TestDatagram& U32(std::uint32_t v) {
    std::uint8_t* p = Grow(4);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    return *this;
  }
  TestDatagram& U32s(std::initializer_list<std::uint32_t> values) {
    for (std::uint32_t v : values) U32(v);
    return *this;
  }
  TestDatagram& Str(const std::string& s) {
    U32(static_cast<std::uint32_t>(s.size()));
    if (!s.empty()) std::memcpy(Grow(s.size()), s.data(), s.size());
    return *this;
  }
  TestDatagram& Raw(std::initializer_list<std::uint8_t> raw) {
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return *this;
  }
  // An ObjectId whose bytes are first, first+1, ..., first+11.
  TestDatagram& Oid(std::uint8_t first) {
    for (std::uint8_t i = 0; i < 12; ++i) bytes.push_back(static_cast<std::uint8_t>(first + i));
    return *this;
  }
  const std::uint8_t* data() const { return bytes.data(); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }

  std::vector<std::uint8_t> bytes;

 private:
  // n more bytes at the end. Written through a pointer rather than push_back/insert, whose
  // inlined copies GCC 12 at -O3 misreads as writing past an empty vector.
  std::uint8_t* Grow(std::size_t n) {
    const std::size_t old = bytes.size();
    bytes.resize(old + n);
    return bytes.data() + old;
  }
};

// The ObjectId that TestDatagram::Oid(first) writes.
inline ObjectId TestOid(std::uint8_t first) {
  ObjectId oid;
  for (std::uint8_t i = 0; i < 12; ++i) oid.abId[i] = static_cast<std::uint8_t>(first + i);
  return oid;
}
