// The reader's properties on one answer, checked against the answer itself rather than against
// another reader.
#include "tests/native/updateclient/markup_reader_properties.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "updateclient/core/markup_reader.h"

namespace qv::updateclient {
namespace {

std::string Without(std::string_view text, std::string_view dropped) {
  std::string kept;
  for (char c : text) {
    if (dropped.find(c) == dropped.npos) kept.push_back(c);
  }
  return kept;
}

// Character data as the reader collects it: line ends and tabs count as if they were not there,
// '<' starts a tag and a stray '>' splits nothing.
std::string TextView(const std::string& answer) { return Without(answer, "\n\r\t<>"); }

// Tags as the reader reads them: line ends and tabs dropped first, then a '/' right after a '<'
// (an end tag) or right before a '>' (an empty element), then '<' and '>'.
std::string TagView(const std::string& answer) {
  const std::string visible = Without(answer, "\n\r\t");
  std::string view;
  for (size_t i = 0; i < visible.size(); ++i) {
    const char c = visible[i];
    const bool mark = c == '/' && ((i > 0 && visible[i - 1] == '<') || (i + 1 < visible.size() && visible[i + 1] == '>'));
    if (c != '<' && c != '>' && !mark) view.push_back(c);
  }
  return view;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsTrimmed(std::string_view text) { return text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())); }

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

std::string MarkupReaderPropertyFault(const std::string& answer) {
  CMarkupReader reader;
  reader.Parse("<stale_q status=\"OK\"><old_q>kept_q</old_q>>");  // nothing of it may remain
  reader.Parse(answer);
  const std::string textView = TextView(answer), tagView = TagView(answer);
  const size_t opens = std::count(answer.begin(), answer.end(), '<');
  const size_t closes = std::count(answer.begin(), answer.end(), '>');

  size_t nodes = 0, named = 0;
  std::vector<std::pair<std::string, std::string>> belowRoot;  // (name, value) in document order
  std::vector<const CMarkupNode*> pending{&reader.Top()};
  while (!pending.empty()) {
    const CMarkupNode* node = pending.back();
    pending.pop_back();
    ++nodes;
    named += !node->m_strName.empty();
    if (node != &reader.Top()) belowRoot.emplace_back(node->m_strName, node->m_strValue);
    if (tagView.find(node->m_strName) == std::string::npos) return "name " + Quoted(node->m_strName) + " is not in the answer";
    if (tagView.find(node->m_strAttributes) == std::string::npos) {
      return "attributes " + Quoted(node->m_strAttributes) + " are not in the answer";
    }
    if (textView.find(node->m_strValue) == std::string::npos) return "value " + Quoted(node->m_strValue) + " is not in the answer";
    if (node->m_strName.find_first_of("<> \t\n\r") != std::string_view::npos ||
        node->m_strAttributes.find_first_of("<>\t\n\r") != std::string_view::npos ||
        node->m_strValue.find_first_of("<>\t\n\r") != std::string_view::npos) {
      return "element " + Quoted(node->m_strName) + " holds a tag character, line end, tab or a blank in its name";
    }
    if (!IsTrimmed(node->m_strAttributes) || !IsTrimmed(node->m_strValue)) {
      return "element " + Quoted(node->m_strName) + " has untrimmed attributes or value";
    }
    for (size_t i = node->m_children.size(); i-- > 0;) {
      if (node->m_children[i]->m_pParent != node) return "a child of " + Quoted(node->m_strName) + " names another parent";
      pending.push_back(node->m_children[i]);
    }
  }
  if (nodes > closes + 1) return std::to_string(nodes) + " elements from " + std::to_string(closes) + " '>'";
  if (named > opens) return std::to_string(named) + " named elements from " + std::to_string(opens) + " '<'";

  std::vector<std::string> names{std::string(reader.Top().m_strName), ""};
  if (!belowRoot.empty()) names.push_back(belowRoot.back().first);
  for (const std::string& name : names) {
    std::vector<std::string> expected;
    for (const auto& [nodeName, value] : belowRoot) {
      if (nodeName == name) expected.push_back(value);
    }
    if (reader.FindAll(name) != expected) return "FindAll(" + Quoted(name) + ") differs from the tree";
  }
  return std::string();
}

}  // namespace qv::updateclient
