// File-list keys and flag values of the configuration files.
#include "bootstrap/core/config_lists.h"

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {

int FileListCount(const std::wstring& countText) {
  const int count = WideToInt(countText);
  return count > 0 ? count : 0;
}

std::wstring FileListKey(int index) {
  std::wstring digits = DecimalText(index);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), L'0');
  return L"file" + digits;
}

bool IsFlagTrue(const std::wstring& value) { return EqualsNoCase(value, L"TRUE"); }

}  // namespace qv::bootstrap
