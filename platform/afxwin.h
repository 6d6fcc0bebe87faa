// Threads and the application object of the MFC subset.
//
// Threads (AfxBeginThread / CWinThread):
// - The thread starts at once; m_hThread is signalled when the procedure has returned, and a wait
//   that reports this has also joined the thread.
// - Ownership: with m_bAutoDelete FALSE the creator owns the object and deletes it when it likes;
//   deleting it while the thread runs is safe (the thread then runs on unobserved). With
//   m_bAutoDelete TRUE (the default) the object deletes itself, but not before its end has been
//   seen: the wait on m_hThread that reports the end deletes it. So the creator may always wait
//   on m_hThread through the pointer it holds, and must not touch the object after a successful
//   wait. The object of an auto-delete thread whose end nobody waits for is never freed, so a
//   creator that keeps the pointer should wait on it (once, from one thread).
// - Priorities and stack sizes are not supported (the system's defaults are used), nor is
//   starting suspended: dwCreateFlags must be 0. Threads cannot be terminated from outside.
//
// Application (CWinApp): the module's one application object. Its constructor makes it the
// module's current application (AfxGetApp(), AfxGetModuleState()->m_pCurrentWinApp) and sets
// m_hInstance to the module that holds this code. Each shared object that links this library has
// a module state of its own. Loading and unloading are signalled through CWinAppModule, defined
// right after the application object in the same translation unit:
//     CMyApp theApp;
//     static CWinAppModule theModule(theApp);  // InitInstance now, ExitInstance at unload
// so ExitInstance runs at unload (or process exit) before the application object is destroyed.
#pragma once

#include <memory>
#include <string>

#include "platform/afx.h"
#include "platform/win32.h"

inline constexpr int THREAD_PRIORITY_NORMAL = 0;

using AFX_THREADPROC = UINT (*)(LPVOID);

class CWinThreadState;

class CWinThread : public CObject {
  DECLARE_DYNAMIC(CWinThread)

 public:
  ~CWinThread() override;

  operator HANDLE() const { return m_hThread; }  // NOLINT: implicit, as in MFC

  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;

 private:
  friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD,
                                    LPSECURITY_ATTRIBUTES);
  friend class CWinThreadState;
  CWinThread() = default;

  std::shared_ptr<CWinThreadState> m_state;
};

// NULL when the thread could not be started (or pfnThreadProc is NULL, or dwCreateFlags is not 0).
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

class CWinApp : public CObject {
  DECLARE_DYNAMIC(CWinApp)

 public:
  // The name is copied; NULL gives an empty name.
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return 0; }

  LPCTSTR m_pszAppName;
  HINSTANCE m_hInstance;

 private:
  std::string m_strAppName;
};

struct AFX_MODULE_STATE {
  CWinApp* m_pCurrentWinApp;
  HINSTANCE m_hCurrentInstanceHandle;
};

// The state of the module that holds the calling code.
AFX_MODULE_STATE* AfxGetModuleState();
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// Runs the application's InitInstance when constructed and its ExitInstance when destroyed.
// A FALSE from InitInstance is reported through OutputDebugStringA; ExitInstance still runs.
class CWinAppModule {
 public:
  explicit CWinAppModule(CWinApp& app);
  ~CWinAppModule();
  CWinAppModule(const CWinAppModule&) = delete;
  CWinAppModule& operator=(const CWinAppModule&) = delete;

 private:
  CWinApp& m_app;
};
