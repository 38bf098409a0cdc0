// Reads the maker's signature setting and checks held files with the system's signature check.
#include "bootstrap/provisioning/package_signature.h"

#include <windows.h>

#include "bootstrap/provisioning/trace_log.h"
#include "common/win/signature_check.h"

qv::SignaturePolicy ReadSignaturePolicy(const std::wstring& phoneConfig, const std::wstring& copyConfig) {
  const bool phoneReadable = !phoneConfig.empty() && qv::CHeldFile::Open(phoneConfig).IsHeld();
  if (!phoneReadable) {
    WriteTraceLog(L"[SIGNATURE] The phone's config.ini cannot be read: the setting comes from [" + copyConfig +
                  L"]\r\n");
  }
  qv::SignaturePolicy policy = qv::ReadSignatureSetting(phoneReadable ? phoneConfig : copyConfig);
  for (const std::wstring& line : qv::DescribeSignaturePolicy(policy)) WriteTraceLog(line + L"\r\n");
  return policy;
}

bool IsSignedByMaker(const qv::SignaturePolicy& policy, const qv::CHeldFile& file) {
  return qv::IsHeldFileSignedByMaker(policy, file, [](const std::wstring& line) { WriteTraceLog(line + L"\r\n"); });
}

void CSignatureWarmUp::Start(const std::wstring& path) {
  if (m_bStarted) return;
  m_bStarted = true;
  m_strPath = path;
  m_hThread.reset(::CreateThread(nullptr, 0, &CSignatureWarmUp::Run, this, 0, nullptr));
}

void CSignatureWarmUp::Finish() {
  if (!m_hThread) return;
  ::WaitForSingleObject(m_hThread.get(), INFINITE);  // one inspection of a local file: it ends
  m_hThread.reset();
}

DWORD WINAPI CSignatureWarmUp::Run(void* self) {
  try {
    const auto* warmUp = static_cast<const CSignatureWarmUp*>(self);
    const qv::CHeldFile held = qv::CHeldFile::Open(warmUp->m_strPath);
    if (held.IsHeld()) qv::InspectSignature(held.Handle(), held.Path());
  } catch (...) {
    // Only time is lost: the real checks come later.
  }
  return 0;
}
