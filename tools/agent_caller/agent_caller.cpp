// Calls one agent export of the update-service client library as a program would, and reports
// the outcome as one JSON line on stdout and, with --out, in a file (reading a Wine program's
// stdout through a pipe can hang; the file is the reliable way):
//   agent_caller.exe CheckUTSetup|CheckUASetup|StartUpdate [--out FILE]
//   {"export":"CheckUTSetup","returned":1,"result":"...","terminated":true,"overrun":false}
// The library is loaded by its plain name, so the QVUTchkdl.dll beside this program (or on the
// search path) is the one called. The result buffer is exactly the library's result size,
// followed by guard bytes: "overrun" says whether any of them changed, "terminated" whether the
// buffer holds a NUL. StartUpdate has no result ("result" is null). Exit codes: 0 the export
// returned, 2 usage error, 3 the library or the export is missing, 4 failure of this program.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/win/handles.h"
#include "tools/ui_driver/json_line.h"
#include "updateclient/QVUTchkdl.h"

namespace {

enum ExitCode { kExitCalled = 0, kExitUsage = 2, kExitMissing = 3, kExitFailure = 4 };

constexpr unsigned char kFill = 0xCD;
constexpr size_t kResultBytes = QVUT_RESULT_BUFFER_BYTES;
constexpr size_t kBlockBytes = 256;  // the result buffer, then guard bytes
static_assert(kBlockBytes > kResultBytes, "no guard bytes after the result buffer");

// The result buffer with the guard bytes after it, all filled with kFill before the call.
class CResultBlock {
 public:
  CResultBlock() { std::memset(m_bytes, kFill, sizeof m_bytes); }
  char* Buffer() { return reinterpret_cast<char*>(m_bytes); }

  bool Overrun() const {
    for (size_t i = kResultBytes; i < kBlockBytes; ++i) {
      if (m_bytes[i] != kFill) return true;
    }
    return false;
  }
  bool Terminated() const { return std::memchr(m_bytes, 0, kResultBytes) != nullptr; }
  // The text up to the NUL, or the whole buffer when there is none; ANSI as the library writes it.
  std::string Text() const {
    const void* end = std::memchr(m_bytes, 0, kResultBytes);
    const size_t length = end ? static_cast<const unsigned char*>(end) - m_bytes : kResultBytes;
    return std::string(reinterpret_cast<const char*>(m_bytes), length);
  }

 private:
  unsigned char m_bytes[kBlockBytes];
};

std::string AnsiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return qv::ui::ToUtf8(wide);
}

// An export's address as its typed function pointer.
template <typename Proc>
Proc As(FARPROC address) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(address));
}

// Calls the export `name` of `library`; false when the library has no such export.
bool CallExport(HMODULE library, const std::string& name, qv::ui::CJsonObject& report) {
  const FARPROC address = GetProcAddress(library, name.c_str());
  if (address == nullptr) return false;
  CResultBlock block;
  int returned = 0;
  if (name == "CheckUTSetup") {
    returned = As<CheckUTSetupProc>(address)(block.Buffer());
  } else if (name == "CheckUASetup") {
    returned = As<CheckUASetupProc>(address)("", block.Buffer());
  } else {
    returned = As<StartUpdateProc>(address)();
    report.Int("returned", returned).Null("result").Bool("overrun", false);  // given no buffer
    return true;
  }
  report.Int("returned", returned)
      .Str("result", AnsiToUtf8(block.Text()))
      .Bool("terminated", block.Terminated())
      .Bool("overrun", block.Overrun());
  return true;
}

bool WriteFileLine(const std::wstring& path, const std::string& line) {
  qv::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

int Report(const qv::ui::CJsonObject& report, const std::wstring& outPath, int code) {
  const std::string line = report.Text() + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  if (!outPath.empty() && !WriteFileLine(outPath, line)) return kExitFailure;
  return code;
}

int Usage() {
  std::fputs("usage: agent_caller.exe CheckUTSetup|CheckUASetup|StartUpdate [--out FILE]\n", stderr);
  return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) try {
  if (argc != 2 && argc != 4) return Usage();
  const std::wstring exportName = argv[1];
  if (exportName != L"CheckUTSetup" && exportName != L"CheckUASetup" && exportName != L"StartUpdate") return Usage();
  std::wstring outPath;
  if (argc == 4) {
    if (std::wstring(argv[2]) != L"--out" || argv[3][0] == L'\0') return Usage();
    outPath = argv[3];
  }
  const std::string name(exportName.begin(), exportName.end());  // ASCII, checked above

  qv::ui::CJsonObject report;
  report.Str("export", name);
  qv::UniqueModule library(LoadLibraryA("QVUTchkdl.dll"));
  if (!library) {
    report.Str("error", "QVUTchkdl.dll not loaded, error " + std::to_string(GetLastError()));
    return Report(report, outPath, kExitMissing);
  }
  if (!CallExport(library.get(), name, report)) {
    report.Str("error", "no export " + name);
    return Report(report, outPath, kExitMissing);
  }
  return Report(report, outPath, kExitCalled);
} catch (...) {
  return kExitFailure;
}
