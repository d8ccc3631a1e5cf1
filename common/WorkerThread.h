#pragma once

#include <windows.h>

// A small equivalent of the class library's worker threads: a thread object that deletes
// itself when its thread ends, started from a routine of one untyped pointer.
using AFX_THREADPROC = UINT(__cdecl*)(LPVOID parameter);

class CWinThread {
 public:
  CWinThread(AFX_THREADPROC routine, LPVOID parameter) noexcept
      : m_pfnThreadProc(routine), m_pThreadParams(parameter) {}
  ~CWinThread() {
    if (m_hThread) ::CloseHandle(m_hThread);
  }
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;  // the object goes with its thread
  AFX_THREADPROC m_pfnThreadProc;
  LPVOID m_pThreadParams;
};

// Starts routine(parameter) on a new thread. Returns null when the thread cannot be started.
// With m_bAutoDelete (the default) the object may be gone as soon as this returns. createFlags
// may hold CREATE_SUSPENDED and STACK_SIZE_PARAM_IS_A_RESERVATION.
CWinThread* AfxBeginThread(AFX_THREADPROC routine, LPVOID parameter,
                           int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                           DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

// Ends the calling thread with exitCode, deleting its thread object when asked to. Like
// ExitThread it does not unwind: nothing with a destructor may still live on the stack.
[[noreturn]] void AfxEndThread(UINT exitCode, BOOL deleteThread = TRUE);
