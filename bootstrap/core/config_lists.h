// Value kinds of the configuration files beyond plain text: file lists (a count key and keys
// file00, file01, ...) and TRUE flags.
#pragma once

#include <string>

namespace qv::bootstrap {

constexpr wchar_t kFileCountKey[] = L"filecount";

// The count of a file list: the value read as WideToInt reads it ("3abc" is 3, "abc" is 0);
// a negative count lists no files.
int FileListCount(const std::wstring& countText);

// The key of entry `index`: "file%02d", so file00 ... file99, file100 ...
std::wstring FileListKey(int index);

// "TRUE" in any letter case; anything else is false.
bool IsFlagTrue(const std::wstring& value);

}  // namespace qv::bootstrap
