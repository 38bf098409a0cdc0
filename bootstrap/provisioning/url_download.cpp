// URLDownloadToFileW with a bind-status callback that records the HTTP status of the answer, so
// that an error page the moniker saved as the file is recognised and removed.
#include "bootstrap/provisioning/url_download.h"

#include <urlmon.h>

#include <atomic>
#include <new>

#include "bootstrap/provisioning/support.h"

namespace {

// The moniker finds IHttpNegotiate by QueryInterface on the bind-status callback and passes the
// status line's code to OnResponse. Heap-allocated and reference counted, since the binding may
// hold a reference for as long as it likes.
class CHttpStatusCallback final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  CHttpStatusCallback() = default;
  CHttpStatusCallback(const CHttpStatusCallback&) = delete;
  CHttpStatusCallback& operator=(const CHttpStatusCallback&) = delete;

  // The last HTTP status the server answered with; 0 when no HTTP answer came.
  DWORD GetHttpStatus() const { return m_nHttpStatus.load(); }

  static bool IsSuccessStatus(DWORD status) { return status >= 200 && status <= 299; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_nRef); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --m_nRef;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IBindStatusCallback: no progress for the caller, nothing to decide but the bind flags.
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override {
    if (!flags) return E_INVALIDARG;
    *flags |= BINDF_GETNEWESTVERSION;  // the server's current file, not a cached copy
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate: no extra request headers; the answer's status is kept. Aborting on an error
  // status spares the error page's transfer where the moniker honours it (Wine carries on).
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override {
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override {
    if (additionalHeaders) *additionalHeaders = nullptr;
    m_nHttpStatus = status;
    return IsSuccessStatus(status) ? S_OK : E_ABORT;
  }

 private:
  ~CHttpStatusCallback() = default;  // only Release deletes

  std::atomic<LONG> m_nRef{1};
  std::atomic<DWORD> m_nHttpStatus{0};
};

// COM on the calling thread for the span of one call; a thread already in COM keeps its state.
class CComScope {
 public:
  CComScope() : m_bInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~CComScope() {
    if (m_bInitialized) ::CoUninitialize();
  }
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;

 private:
  bool m_bInitialized;
};

}  // namespace

BOOL DownloadUrlToFile(const std::wstring& url, const std::wstring& path) {
  BOOL succeeded = FALSE;
  try {
    CComScope com;
    CHttpStatusCallback* callback = new (std::nothrow) CHttpStatusCallback();
    if (callback) {
      const HRESULT result = ::URLDownloadToFileW(nullptr, url.c_str(), path.c_str(), 0, callback);
      const DWORD status = callback->GetHttpStatus();
      callback->Release();
      // Wine also reports success when the file could not be written (a missing folder).
      succeeded = SUCCEEDED(result) && (status == 0 || CHttpStatusCallback::IsSuccessStatus(status)) &&
                  ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
  } catch (...) {
    succeeded = FALSE;
  }
  if (!succeeded) DeleteFileEvenReadOnly(path);
  return succeeded;
}
