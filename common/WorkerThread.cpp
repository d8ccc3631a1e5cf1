#include "common/WorkerThread.h"

#include <process.h>

#include <new>

#include "common/DebugPrint.h"

namespace {

thread_local CWinThread* t_currentThread = nullptr;

unsigned __stdcall ThreadStart(void* argument) {
  auto* thread = static_cast<CWinThread*>(argument);
  t_currentThread = thread;
  UINT exitCode = 0;
  try {
    exitCode = thread->m_pfnThreadProc(thread->m_pThreadParams);
  } catch (...) {
    // No exception may leave a thread routine; one that tries ends its thread here.
    DebugPrint("Worker thread ended by an exception\n");
    exitCode = 1;
  }
  AfxEndThread(exitCode);
}

}  // namespace

CWinThread* AfxBeginThread(AFX_THREADPROC routine, LPVOID parameter, int priority,
                           UINT stackSize, DWORD createFlags, LPSECURITY_ATTRIBUTES security) {
  auto* thread = new (std::nothrow) CWinThread(routine, parameter);
  if (thread == nullptr) return nullptr;

  // Started suspended, so that the object is complete before its thread can delete it. With
  // STACK_SIZE_PARAM_IS_A_RESERVATION the stack size is the address space set aside for the
  // stack, not its first commitment.
  unsigned threadId = 0;
  const unsigned flags = CREATE_SUSPENDED | (createFlags & STACK_SIZE_PARAM_IS_A_RESERVATION);
  const uintptr_t handle =
      ::_beginthreadex(security, stackSize, &ThreadStart, thread, flags, &threadId);
  if (handle == 0) {
    delete thread;
    return nullptr;
  }
  thread->m_hThread = reinterpret_cast<HANDLE>(handle);
  thread->m_nThreadID = threadId;
  ::SetThreadPriority(thread->m_hThread, priority);
  if ((createFlags & CREATE_SUSPENDED) == 0) ::ResumeThread(thread->m_hThread);
  return thread;
}

void AfxEndThread(UINT exitCode, BOOL deleteThread) {
  CWinThread* thread = t_currentThread;
  t_currentThread = nullptr;
  if (thread != nullptr && deleteThread && thread->m_bAutoDelete) delete thread;
  ::_endthreadex(exitCode);
  __builtin_unreachable();
}
