// Stand-in for another program or its window, for the end-to-end runs of the guards between running
// instances of the bootstrap program:
//   stub_instance hung <title> <mutex> <seconds>
//     holds the named mutex and shows a top-level window with this title, and never reads its
//     messages, for that many seconds: a hung instance.
//   stub_instance query <title> <milliseconds>
//     asks the dialog with this title for its phone drive as another instance does (WM_COPYDATA
//     with an empty record, its own window in wParam) and waits that long for the answer.
//     Exit code 0 when an answer arrived, 1 when none did.
//   stub_instance hold <path> <seconds>
//     opens the file for reading and writing, letting others read, write and delete it, and keeps
//     it open that long: a program of the user that may change the file at any moment.
//   stub_instance idle <seconds>
//     runs for that many seconds and does nothing: copied under another name, a program of that
//     name that is running.
//   stub_instance move <from> <to>
//     renames a file or folder as any program of the user may. Exit code 0 when it moved, else 3,
//     with the system's error written to the output.
// Exit code 2: usage error, or no window or mutex could be made or found.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>

namespace {

bool g_bAnswered = false;

LRESULT CALLBACK ReplyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    const COPYDATASTRUCT* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (record && record->lpData && record->cbData >= sizeof(wchar_t)) g_bAnswered = true;
    return TRUE;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTopLevel(const wchar_t* title, DWORD style) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ReplyWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"QvStubInstance";
  ::RegisterClassW(&windowClass);
  return ::CreateWindowExW(0, windowClass.lpszClassName, title, style, 100, 100, 300, 120, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

int Hung(const wchar_t* title, const wchar_t* mutexName, const wchar_t* seconds) {
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, mutexName);  // held until the process ends
  if (!mutex || !CreateTopLevel(title, WS_OVERLAPPEDWINDOW | WS_VISIBLE)) return 2;
  ::Sleep(static_cast<DWORD>(std::wcstoul(seconds, nullptr, 10)) * 1000);
  return 0;
}

int Query(const wchar_t* title, const wchar_t* milliseconds) {
  HWND dialog = ::FindWindowW(L"#32770", title);
  HWND reply = CreateTopLevel(L"", WS_OVERLAPPED);
  if (!dialog || !reply) return 2;
  COPYDATASTRUCT query{0, 0, nullptr};
  DWORD_PTR result = 0;
  // Not blocking: the answer is sent back to our window while this send waits.
  ::SendMessageTimeoutW(dialog, WM_COPYDATA, reinterpret_cast<WPARAM>(reply), reinterpret_cast<LPARAM>(&query),
                        SMTO_NORMAL, static_cast<UINT>(std::wcstoul(milliseconds, nullptr, 10)), &result);
  return g_bAnswered ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv) return 2;
  if (count == 5 && std::wcscmp(argv[1], L"hung") == 0) return Hung(argv[2], argv[3], argv[4]);
  if (count == 4 && std::wcscmp(argv[1], L"query") == 0) return Query(argv[2], argv[3]);
  if (count == 4 && std::wcscmp(argv[1], L"hold") == 0) {
    HANDLE file = ::CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) * 1000);
    ::CloseHandle(file);
    return 0;
  }
  if (count == 4 && std::wcscmp(argv[1], L"move") == 0) {
    if (::MoveFileExW(argv[2], argv[3], 0)) return 0;
    std::printf("move failed: %lu\n", static_cast<unsigned long>(::GetLastError()));
    return 3;
  }
  if (count == 3 && std::wcscmp(argv[1], L"idle") == 0) {
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) * 1000);
    return 0;
  }
  return 2;
}
