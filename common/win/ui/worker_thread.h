// A worker thread that runs one function. Its entry is an exception boundary; the owner joins the
// thread, without a time limit, before it frees the function and closes the handle.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "common/win/handles.h"

namespace qv::ui {

class CWorkerThread {
 public:
  // Creates the thread for |body| suspended, so the caller can publish it before it runs; null
  // when the thread cannot be created.
  static std::unique_ptr<CWorkerThread> Create(std::function<void()> body);
  void Resume() {
    m_bResumed = true;
    ::ResumeThread(m_hThread.get());
  }
  // Joins the thread (JoinPumpingSentMessages): the body and what it captured stay alive for as
  // long as it runs, however long that is. Bodies are bounded themselves; a time limit here would
  // free them while they run. A thread that was never resumed never runs and is not waited for.
  ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Waits until the thread has ended, answering the messages that other threads send to this
  // thread's windows meanwhile (a worker that updates a window of ours would otherwise wait for
  // us while we wait for it). Posted messages stay queued.
  void JoinPumpingSentMessages() const { JoinPumpingSentMessages(INFINITE); }
  // The same wait, for at most `milliseconds`: true when the thread has ended (or never ran).
  bool JoinPumpingSentMessages(DWORD milliseconds) const;

 private:
  explicit CWorkerThread(std::function<void()> body) : m_body(std::move(body)) {}
  static DWORD WINAPI Entry(void* parameter);

  std::function<void()> m_body;
  UniqueHandle m_hThread;
  bool m_bResumed = false;
};

}  // namespace qv::ui
