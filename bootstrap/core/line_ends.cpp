#include "bootstrap/core/line_ends.h"

namespace qv::bootstrap {

std::wstring NormalizeLineEnds(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      out += L"\r\n";
    } else if (c == L'\n') {
      out += L"\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace qv::bootstrap
