// The accessible object of a control through oleacc: AccessibleObjectFromWindow asks the window
// (WM_GETOBJECT) and otherwise makes the system's standard object for its class, which reads the
// control across processes by the messages the system marshals.
#include "tools/ui_driver/accessible.h"

#include <objbase.h>
#include <oleacc.h>

namespace qv::ui {
namespace {

// The COM library for the driver's thread for as long as one query lasts.
class CComScope {
 public:
  CComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~CComScope() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;

 private:
  HRESULT m_hr;
};

// A BSTR freed at the end of the scope.
class CBstr {
 public:
  CBstr() = default;
  ~CBstr() { SysFreeString(m_str); }
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  BSTR* Receive() { return &m_str; }
  std::wstring Text() const { return m_str ? std::wstring(m_str, SysStringLen(m_str)) : std::wstring(); }
  bool Empty() const { return m_str == nullptr; }

 private:
  BSTR m_str = nullptr;
};

CJsonObject& Text(CJsonObject& json, const char* key, const char* hrKey, HRESULT hr, const CBstr& text) {
  if (hr == S_OK && !text.Empty()) {
    json.Str(key, text.Text());
  } else {
    json.Null(key);
  }
  return json.Int(hrKey, static_cast<long long>(static_cast<unsigned long>(hr)));
}

}  // namespace

CJsonObject AccessibleJson(HWND control) {
  CComScope com;
  IAccessible* object = nullptr;
  const HRESULT got = AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                 reinterpret_cast<void**>(&object));
  if (FAILED(got) || !object) {
    return CJsonObject().Bool("ok", false).Str("error", "no accessible object").Int("hr", static_cast<unsigned long>(got));
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  CJsonObject json;
  json.Bool("ok", true);
  CBstr name, value;
  Text(json, "name", "name_hr", object->get_accName(self, name.Receive()), name);
  Text(json, "value", "value_hr", object->get_accValue(self, value.Receive()), value);
  VARIANT role, state;
  VariantInit(&role);
  VariantInit(&state);
  const HRESULT roleHr = object->get_accRole(self, &role);
  if (roleHr == S_OK && role.vt == VT_I4) {
    wchar_t roleText[128] = {};
    GetRoleTextW(static_cast<DWORD>(role.lVal), roleText, sizeof(roleText) / sizeof(roleText[0]));
    json.Int("role", role.lVal).Str("role_text", std::wstring(roleText));
  } else {
    json.Null("role").Null("role_text");
  }
  json.Int("role_hr", static_cast<unsigned long>(roleHr));
  if (object->get_accState(self, &state) == S_OK && state.vt == VT_I4) {
    json.Int("state", state.lVal);
  } else {
    json.Null("state");
  }
  VariantClear(&role);
  VariantClear(&state);
  object->Release();
  return json;
}

}  // namespace qv::ui
