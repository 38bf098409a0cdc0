// libFuzzer target: any byte string is an answer the reader must survive; it must read it exactly
// as its earlier implementation did (same tree, same values); no name, attribute text or value
// holds a tag character, a line end or a tab, and no '>' can make more than one element.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/native/updateclient/reference_markup_reader.h"
#include "updateclient/core/markup_reader.h"
#include "updateclient/core/text.h"

using namespace qv::updateclient;

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string answer = MarkupFromBody(std::string(reinterpret_cast<const char*>(data), size));
  CMarkupReader reader;
  reader.Parse(answer);
  reference::CMarkupReader expected;
  expected.Parse(answer);
  IsAcceptedAnswer(reader);

  size_t closes = 0;
  for (char c : answer) closes += c == '>';
  auto clean = [](std::string_view text, const char* banned) { return text.find_first_of(banned) == text.npos; };
  size_t nodes = 0;
  std::vector<std::pair<const CMarkupNode*, const reference::CMarkupNode*>> pending{{&reader.Top(), &expected.Top()}};
  while (!pending.empty()) {
    auto [node, want] = pending.back();
    pending.pop_back();
    Check(node->m_strName == want->m_strName && node->m_strAttributes == want->m_strAttributes &&
          node->m_strValue == want->m_strValue && node->m_children.size() == want->m_children.size());
    Check(clean(node->m_strName, "<> \t\n\r") && clean(node->m_strAttributes, "<>\t\n\r") &&
          clean(node->m_strValue, "<>\t\n\r"));
    for (size_t i = 0; i < node->m_children.size(); ++i) pending.emplace_back(node->m_children[i], want->m_children[i].get());
    ++nodes;
  }
  Check(nodes <= closes + 1);  // each '>' closes at most one tag; the top node exists without one
  for (const char* name : {"sw_version", "sw_uri", "country_code", ""}) Check(reader.FindAll(name) == expected.FindAll(name));
  return 0;
}
