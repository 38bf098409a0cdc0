// libFuzzer target: any byte string is an answer the reader must survive, and every value it
// reports must come from the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updateclient/core/markup_reader.h"
#include "updateclient/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string answer = MarkupFromBody(std::string(reinterpret_cast<const char*>(data), size));
  CMarkupReader reader;
  reader.Parse(answer);
  IsAcceptedAnswer(reader);
  for (const char* name : {"sw_version", "sw_uri", "country_code", ""}) {
    for (const std::string& value : reader.FindAll(name)) {
      if (value.size() > answer.size()) __builtin_trap();
    }
  }
  return 0;
}
