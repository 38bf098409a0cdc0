// The library's trace lines as a test sees them: OutputDebugStringA raises a debug-output
// exception, which a vectored handler of the test catches on its way to the debugger.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The debug output of this thread while it lives.
class CTraceCatcher {
 public:
  CTraceCatcher() {
    s_lines = &m_lines;
    m_handler = AddVectoredExceptionHandler(1, Catch);
  }
  ~CTraceCatcher() {
    RemoveVectoredExceptionHandler(m_handler);
    s_lines = nullptr;
  }
  const std::vector<std::string>& Lines() const { return m_lines; }

 private:
  static LONG CALLBACK Catch(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 && s_lines) {
      const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
      const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
      std::string line(text, length);
      while (!line.empty() && line.back() == '\0') line.pop_back();
      s_lines->push_back(line);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static std::vector<std::string>* s_lines;
  std::vector<std::string> m_lines;
  PVOID m_handler = nullptr;
};
inline std::vector<std::string>* CTraceCatcher::s_lines = nullptr;
