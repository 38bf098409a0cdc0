// Thread start and the thread entry's exception boundary.
#include "common/win/ui/worker_thread.h"

namespace qv::ui {

std::unique_ptr<CWorkerThread> CWorkerThread::Create(std::function<void()> body) {
  std::unique_ptr<CWorkerThread> thread(new CWorkerThread(std::move(body)));
  thread->m_hThread.reset(::CreateThread(nullptr, 0, Entry, thread.get(), CREATE_SUSPENDED, nullptr));
  if (!thread->m_hThread) return nullptr;
  return thread;
}

CWorkerThread::~CWorkerThread() { JoinPumpingSentMessages(); }

bool CWorkerThread::JoinPumpingSentMessages(DWORD milliseconds) const {
  if (!m_hThread || !m_bResumed) return true;
  HANDLE thread = m_hThread.get();
  // A bounded wait counts its limit from the start, across the messages it answers.
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (milliseconds != INFINITE) {
      const DWORD spent = ::GetTickCount() - start;
      left = spent >= milliseconds ? 0 : milliseconds - spent;
    }
    const DWORD woken = ::MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
    if (woken != WAIT_OBJECT_0 + 1) return woken == WAIT_OBJECT_0;
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

DWORD WINAPI CWorkerThread::Entry(void* parameter) {
  try {
    static_cast<CWorkerThread*>(parameter)->m_body();
  } catch (...) {
  }
  return 0;
}

}  // namespace qv::ui
