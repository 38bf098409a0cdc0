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

void CWorkerThread::JoinPumpingSentMessages() const {
  if (!m_hThread || !m_bResumed) return;
  HANDLE thread = m_hThread.get();
  while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
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
