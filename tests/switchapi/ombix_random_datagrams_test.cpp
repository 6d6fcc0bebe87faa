// Random, truncated and mutated datagrams of every type through the decoder and both traces.
// Each datagram sits in a heap block of exactly its length, so the address sanitizer catches any
// read outside it; the decoded counts must stay within what one datagram can hold. The fuzz
// target (tests/fuzz) runs the same checks on inputs that coverage guides.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_trace.h"
#include "tests/switchapi/datagram_builder.h"
#include "tests/switchapi/decoded_limits.h"

namespace {

std::vector<DWORD> AllTypes() {
  std::vector<DWORD> types;
  for (DWORD t = 0; t <= 24; ++t) types.push_back(t);
  for (DWORD t = 255; t <= 370; ++t) types.push_back(t);
  for (DWORD t = 510; t <= 530; ++t) types.push_back(t);
  for (DWORD t = 767; t <= 790; ++t) types.push_back(t);
  types.push_back(0xFFFFFFFF);
  return types;
}

// A datagram of the type whose body has fields that look like the protocol's: small numbers
// (counts, lengths that fit), huge numbers, strings, and raw bytes.
std::vector<BYTE> RandomDatagram(DWORD type, std::mt19937& rng) {
  TestDatagram d(1, type);
  const int fields = std::uniform_int_distribution<int>(0, 60)(rng);
  for (int i = 0; i < fields; ++i) {
    switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
      case 0:
      case 1:
        d.U32(std::uniform_int_distribution<DWORD>(0, 8)(rng));
        break;
      case 2:
        d.U32(std::uniform_int_distribution<DWORD>()(rng));
        break;
      case 3: {
        std::string text(std::uniform_int_distribution<std::size_t>(0, 1100)(rng), ' ');
        for (std::size_t j = 0; j < text.size(); ++j) text[j] = static_cast<char>('a' + j % 26);
        d.Str(text);
        break;
      }
      case 4:
        d.U32(0xFFFFFFFF - std::uniform_int_distribution<DWORD>(0, 8)(rng));
        break;
      default:
        for (int j = std::uniform_int_distribution<int>(1, 12)(rng); j > 0; --j) {
          d.bytes.push_back(static_cast<BYTE>(rng()));
        }
    }
  }
  if (d.bytes.size() > kOmbixMaxDatagram) d.bytes.resize(kOmbixMaxDatagram);
  return d.bytes;
}

TEST(OmbixRandomDatagramsTest, DecoderAndTraceStayInsideEveryDatagram) {
  std::mt19937 rng(20240601);
  std::FILE* sink = std::fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  COmbixTrace trace;
  trace.SetOutput(sink);
  trace.SetFlags(kOmbixTracePrint | kOmbixTraceAcks | kOmbixTracePings);

  for (DWORD type : AllTypes()) {
    for (int round = 0; round < 40; ++round) {
      const std::vector<BYTE> datagram = RandomDatagram(type, rng);
      // Variants: whole, cut at a random point (also inside the header), and mutated.
      std::vector<std::vector<BYTE>> variants = {datagram};
      variants.emplace_back(
          datagram.begin(),
          datagram.begin() + std::uniform_int_distribution<std::size_t>(0, datagram.size())(rng));
      std::vector<BYTE> mutated = datagram;
      for (int m = 0; m < 4 && mutated.size() > 8; ++m) {
        mutated[std::uniform_int_distribution<std::size_t>(8, mutated.size() - 1)(rng)] =
            static_cast<BYTE>(rng());
      }
      variants.push_back(mutated);

      for (const std::vector<BYTE>& v : variants) {
        // A block of exactly the datagram's length: one byte further is outside it.
        const DWORD len = static_cast<DWORD>(v.size());
        std::unique_ptr<BYTE[]> exact(new BYTE[len == 0 ? 1 : len]);
        if (len > 0) std::memcpy(exact.get(), v.data(), len);
        const std::unique_ptr<COmbixMsg> msg = DecodeMessage(exact.get(), len);
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(msg->dwMsgType, len >= 8 ? type : ReadOmbixHeader(exact.get(), len).dwMsgType);
        EXPECT_EQ(ombix_test::DecodedLimitViolation(*msg), "") << "type " << type;
        trace.TraceReceived(exact.get(), len);
        trace.TraceSent(exact.get(), len);
      }
    }
  }
  std::fclose(sink);
}

}  // namespace
