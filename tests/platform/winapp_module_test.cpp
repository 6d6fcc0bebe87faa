#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/afxwin.h"

namespace {

std::vector<std::string> g_events;
void Record(const char* event) {
  g_events.emplace_back(event);
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(GetProcAddress(module, name));
}

TEST(CWinAppModuleTest, InitInstanceAtLoadExitInstanceAtUnloadBeforeTheAppGoes) {
  g_events.clear();
  HMODULE module = LoadLibraryA(OMBIX_WINAPP_TESTLIB);
  ASSERT_NE(nullptr, module) << dlerror();
  auto set_log = Export<void (*)(void (*)(const char*))>(module, "OmbixTestSetLog");
  auto app = Export<CWinApp* (*)()>(module, "OmbixTestApp");
  auto state_app = Export<CWinApp* (*)()>(module, "OmbixTestModuleStateApp");
  auto the_app = Export<CWinApp* (*)()>(module, "OmbixTestTheApp");
  auto lookup = Export<FARPROC (*)(LPCSTR)>(module, "OmbixTestLookup");
  ASSERT_TRUE(set_log && app && state_app && the_app && lookup);
  set_log(Record);

  // The library's application object is its current application, named and placed in it.
  CWinApp* library_app = the_app();
  EXPECT_EQ(library_app, app());
  EXPECT_EQ(library_app, state_app());
  EXPECT_STREQ("TESTAPP", library_app->m_pszAppName);
  // Its instance handle is the library itself: its own exports are found through it.
  EXPECT_EQ(GetProcAddress(module, "OmbixTestExported"), lookup("OmbixTestExported"));
  EXPECT_NE(nullptr, lookup("OmbixTestExported"));
  EXPECT_EQ(nullptr, lookup("TSPI_lineAccept"));
  // Every module has its own state: this program has no application object.
  EXPECT_EQ(nullptr, AfxGetApp());

  EXPECT_TRUE(FreeLibrary(module));
  // Naming itself did not keep the library loaded.
  EXPECT_EQ(nullptr, dlopen(OMBIX_WINAPP_TESTLIB, RTLD_LAZY | RTLD_NOLOAD));
  const std::vector<std::string> expected = {"constructed", "InitInstance", "found", "ExitInstance",
                                             "destroyed"};
  EXPECT_EQ(expected, g_events);
}

TEST(CWinAppModuleTest, ApplicationObjectRegistersWhileItLives) {
  {
    CWinApp app("LOCAL");
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(&app, AfxGetModuleState()->m_pCurrentWinApp);
    EXPECT_EQ(AfxGetInstanceHandle(), app.m_hInstance);
    EXPECT_NE(nullptr, app.m_hInstance);
    EXPECT_STREQ("LOCAL", app.m_pszAppName);
    CWinApp second(nullptr);  // the first stays the module's application
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_STREQ("", second.m_pszAppName);
  }
  EXPECT_EQ(nullptr, AfxGetApp());
}

}  // namespace
