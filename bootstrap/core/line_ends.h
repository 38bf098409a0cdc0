// Line ends of texts shown in an edit box, which breaks lines only at CR LF.
#pragma once

#include <string>

namespace qv::bootstrap {

// Every CR LF, lone LF and lone CR becomes CR LF.
std::wstring NormalizeLineEnds(const std::wstring& text);

}  // namespace qv::bootstrap
