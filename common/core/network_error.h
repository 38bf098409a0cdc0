// How a failed request reads in a trace line, for the program and the update library alike: the
// network's error by its number and, for the errors a PC meets most, what it means.
#pragma once

#include <string>

#include "common/core/decimal_text.h"

namespace qv {

// "WinINet error 12029 (cannot connect)"; the number alone for an error without a known meaning.
inline std::string InternetErrorText(unsigned error) {
  const char* meaning = nullptr;
  switch (error) {
    case 12002: meaning = "timed out"; break;
    case 12005: meaning = "not a valid address"; break;
    case 12006: meaning = "not an address WinINet knows"; break;
    case 12007: meaning = "the server's name cannot be resolved"; break;
    case 12017: meaning = "cancelled"; break;
    case 12029: meaning = "cannot connect"; break;
    case 12030: meaning = "the connection was aborted"; break;
    case 12031: meaning = "the connection was reset"; break;
    case 12152: meaning = "not an HTTP answer"; break;
    case 12175: meaning = "a secure connection failed"; break;
    default: break;
  }
  const std::wstring digits = DecimalText(error);
  std::string text = "WinINet error " + std::string(digits.begin(), digits.end());
  if (meaning) text += std::string(" (") + meaning + ")";
  return text;
}

}  // namespace qv
