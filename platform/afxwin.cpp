#include "platform/afxwin.h"

#include <mutex>
#include <new>
#include <string>

#include "platform/kernel_object.h"

IMPLEMENT_DYNAMIC(CWinThread, CObject)
IMPLEMENT_DYNAMIC(CWinApp, CObject)

static_assert(sizeof(UINT) == sizeof(DWORD), "a thread procedure's UINT result is its exit code");

// The running thread's side of a CWinThread: it outlives the object when the creator deletes it
// early, and deletes an auto-delete object once a wait has seen the thread end.
class CWinThreadState : public ombix::kernel::Thread {
 public:
  explicit CWinThreadState(CWinThread* owner) : m_pOwner(owner) {}

  void OnWaitSatisfied() override {
    Thread::OnWaitSatisfied();
    CWinThread* doomed = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_pOwner != nullptr && m_pOwner->m_bAutoDelete) std::swap(doomed, m_pOwner);
    }
    delete doomed;
  }

  void Forget() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pOwner = nullptr;
  }

 private:
  std::mutex m_mutex;
  CWinThread* m_pOwner;
};

CWinThread::~CWinThread() {
  if (m_state != nullptr) m_state->Forget();
  if (m_hThread != nullptr) CloseHandle(m_hThread);
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int, UINT,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES) {
  if (pfnThreadProc == nullptr || dwCreateFlags != 0) return nullptr;
  CWinThread* thread = new (std::nothrow) CWinThread;
  if (thread == nullptr) return nullptr;
  try {
    thread->m_state.reset(new CWinThreadState(thread));  // not make_shared (see CEvent)
    thread->m_hThread = ombix::kernel::Insert(thread->m_state);
    ombix::kernel::Thread::Start(thread->m_state, pfnThreadProc, pParam, &thread->m_nThreadID);
  } catch (const std::exception&) {  // no memory, or no thread to be had
    delete thread;
    return nullptr;
  }
  return thread;
}

namespace {

// Any function of this file lies in the module that links it.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

AFX_MODULE_STATE* AfxGetModuleState() {
  // Constant-initialised, so it is ready before any application object is constructed. Hidden
  // visibility gives every shared object its own.
  static AFX_MODULE_STATE state = {nullptr, nullptr};
  return &state;
}

CWinApp* AfxGetApp() {
  return AfxGetModuleState()->m_pCurrentWinApp;
}

HINSTANCE AfxGetInstanceHandle() {
  static const HINSTANCE module = ThisModule();
  return module;
}

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_pszAppName(nullptr), m_hInstance(nullptr), m_strAppName(lpszAppName ? lpszAppName : "") {
  m_pszAppName = m_strAppName.c_str();
  m_hInstance = AfxGetInstanceHandle();
  AFX_MODULE_STATE* state = AfxGetModuleState();
  state->m_hCurrentInstanceHandle = m_hInstance;
  if (state->m_pCurrentWinApp == nullptr) state->m_pCurrentWinApp = this;
}

CWinApp::~CWinApp() {
  AFX_MODULE_STATE* state = AfxGetModuleState();
  if (state->m_pCurrentWinApp == this) state->m_pCurrentWinApp = nullptr;
}

CWinAppModule::CWinAppModule(CWinApp& app) : m_app(app) {
  if (!m_app.InitInstance()) {
    OutputDebugStringA(
        ("InitInstance of " + std::string(m_app.m_pszAppName) + " failed\n").c_str());
  }
}

CWinAppModule::~CWinAppModule() {
  m_app.ExitInstance();
}
