// libFuzzer target: any byte string is an answer the reader must survive (the sanitizers check
// every access) and read into a tree that keeps the properties of markup_reader_properties.h.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/native/updateclient/markup_reader_properties.h"
#include "updateclient/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::updateclient;
  const std::string answer = MarkupFromBody(std::string(reinterpret_cast<const char*>(data), size));
  const std::string fault = MarkupReaderPropertyFault(answer);
  if (!fault.empty()) {
    std::fprintf(stderr, "answer reader: %s\n", fault.c_str());
    __builtin_trap();
  }
  return 0;
}
