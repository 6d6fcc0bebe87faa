// Coverage-guided fuzzing of one received or sent datagram: the decoder and both traces read it
// from a block of exactly its length (as libFuzzer hands it over), so the address sanitizer
// catches any read outside it, and the decoded message must keep every limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_trace.h"
#include "tests/switchapi/decoded_limits.h"

namespace {

// Every dump runs, ACKs and PINGs too, and its text goes through the whole output path.
COmbixTrace& Trace() {
  static COmbixTrace trace;
  static const bool bReady = [] {
    std::FILE* pSink = std::fopen("/dev/null", "w");
    if (pSink == nullptr) std::abort();
    trace.SetOutput(pSink);
    trace.SetFlags(kOmbixTracePrint | kOmbixTraceAcks | kOmbixTracePings);
    return true;
  }();
  (void)bReady;
  return trace;
}

[[noreturn]] void Fail(const std::string& problem) {
  std::fprintf(stderr, "decoded datagram breaks a limit: %s\n", problem.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
  if (cbData > kOmbixMaxDatagram) return -1;  // the link never reads a longer one
  const DWORD dwLength = static_cast<DWORD>(cbData);
  const std::unique_ptr<COmbixMsg> msg = DecodeMessage(pData, dwLength);
  if (msg == nullptr) Fail("no message");
  if (msg->dwMsgType != ReadOmbixHeader(pData, dwLength).dwMsgType) Fail("type not the header's");
  const std::string problem = ombix_test::DecodedLimitViolation(*msg);
  if (!problem.empty()) Fail(problem);
  Trace().TraceReceived(pData, dwLength);
  Trace().TraceSent(pData, dwLength);
  return 0;
}
