#include "tests/framework/framework_doubles.h"

#include "tests/framework/call_doubles.h"

namespace fw_test {

IMPLEMENT_DYNCREATE(TestCall, CTSPICallAppearance)
IMPLEMENT_DYNCREATE(TestAddress, CTSPIAddressInfo)
IMPLEMENT_DYNCREATE(AnsweringLine, CTSPILineConnection)

namespace {

std::mutex g_mxDestroyed;
std::set<const void*>& Destroyed() {
  static std::set<const void*> destroyed;
  return destroyed;
}

}  // namespace

TestCall::TestCall() {
  std::lock_guard<std::mutex> guard(g_mxDestroyed);
  Destroyed().erase(this);
}

TestCall::~TestCall() {
  if (s_onDestroy != nullptr) s_onDestroy(this);
  std::lock_guard<std::mutex> guard(g_mxDestroyed);
  Destroyed().insert(this);
}

bool TestCall::WasDestroyed(const void* p) {
  std::lock_guard<std::mutex> guard(g_mxDestroyed);
  return Destroyed().count(p) != 0;
}

void TestCall::ForgetDestroyed() {
  std::lock_guard<std::mutex> guard(g_mxDestroyed);
  Destroyed().clear();
}

}  // namespace fw_test
