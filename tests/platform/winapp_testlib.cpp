// A module with an application object, as the provider library has one: loaded and unloaded by
// winapp_module_test.cpp, which reads what happened through the exported functions below.
#include <string>

#include "platform/afxwin.h"

#define TESTLIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using LogFn = void (*)(const char*);

std::string g_early;  // events before the test hands in its log (constructed before theApp)
LogFn g_log = nullptr;

void Log(const char* event) {
  if (g_log != nullptr) {
    g_log(event);
  } else {
    g_early += event;
    g_early += ';';
  }
}

}  // namespace

TESTLIB_EXPORT int OmbixTestExported() {
  return 42;
}

class CTestApp : public CWinApp {
 public:
  CTestApp() : CWinApp("TESTAPP") { Log("constructed"); }
  ~CTestApp() override { Log("destroyed"); }

  BOOL InitInstance() override {
    Log("InitInstance");
    // What the provider does at load: look up its own exports.
    Log(GetProcAddress(m_hInstance, "OmbixTestExported") != nullptr ? "found" : "missing");
    return TRUE;
  }
  int ExitInstance() override {
    Log(AfxGetApp() == this ? "ExitInstance" : "ExitInstance-without-app");
    return 0;
  }
};

CTestApp theApp;
static CWinAppModule theModule(theApp);

TESTLIB_EXPORT void OmbixTestSetLog(LogFn log) {
  g_log = log;
  for (size_t start = 0, end; (end = g_early.find(';', start)) != std::string::npos;
       start = end + 1) {
    log(g_early.substr(start, end - start).c_str());
  }
  g_early.clear();
}

TESTLIB_EXPORT CWinApp* OmbixTestApp() {
  return AfxGetApp();
}
TESTLIB_EXPORT CWinApp* OmbixTestModuleStateApp() {
  return AfxGetModuleState()->m_pCurrentWinApp;
}
TESTLIB_EXPORT CWinApp* OmbixTestTheApp() {
  return &theApp;
}
TESTLIB_EXPORT FARPROC OmbixTestLookup(LPCSTR name) {
  return GetProcAddress(theApp.m_hInstance, name);
}
