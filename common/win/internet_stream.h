// A WinINet answer as a byte source and an open file as a byte sink, for the portable download
// loops. Neither owns its handle.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/core/byte_stream.h"

namespace qv {

class InternetSource : public ByteSource {
 public:
  explicit InternetSource(HINTERNET answer) : m_hAnswer(answer) {}
  bool QueryAvailable(uint32_t& available) override {
    DWORD count = 0;
    if (!::InternetQueryDataAvailable(m_hAnswer, &count, 0, 0)) return false;
    available = count;
    return true;
  }
  bool Read(char* buffer, uint32_t capacity, uint32_t& received) override {
    DWORD count = 0;
    if (!::InternetReadFile(m_hAnswer, buffer, capacity, &count)) return false;
    received = count;
    return true;
  }

 private:
  HINTERNET m_hAnswer;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(HANDLE file) : m_hFile(file) {}
  bool Write(const char* data, uint32_t length) override {
    DWORD written = 0;
    return ::WriteFile(m_hFile, data, length, &written, nullptr) && written == length;
  }

 private:
  HANDLE m_hFile;
};

}  // namespace qv
