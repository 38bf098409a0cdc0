// The earlier answer reader (see the header): a single pass with a tag buffer and a text buffer,
// one heap node per element.
#include "tests/native/updateclient/reference_markup_reader.h"

#include <algorithm>
#include <cstring>

#include "updateclient/core/text.h"

namespace reference {

using qv::updateclient::TrimText;

namespace {

enum class TagKind { kStart, kEnd, kEmpty, kSkipped };

// Splits a tag's inner text into the name (up to the first blank) and the trimmed rest.
void SplitTag(const std::string& inner, std::string& name, std::string& attributes) {
  size_t blank = inner.find(' ');
  if (blank == std::string::npos) {
    name = inner;
    attributes.clear();
  } else {
    name = inner.substr(0, blank);
    attributes = TrimText(inner.substr(blank + 1));
  }
}

// |tag| holds '<', the tag's characters and '>'. Declarations and comments are skipped; a '/'
// right after '<' marks an end tag and one right before '>' an empty-element tag.
TagKind ClassifyTag(const std::string& tag, std::string& inner) {
  inner.clear();
  if (tag.empty()) return TagKind::kSkipped;
  TagKind kind = TagKind::kStart;
  char previous = '\0';
  for (char c : tag) {
    if (previous == '<' && (c == '!' || c == '?')) return TagKind::kSkipped;
    if (previous == '<' && c == '/') {
      kind = TagKind::kEnd;
    } else if (previous == '/' && c == '>') {
      kind = TagKind::kEmpty;
      if (!inner.empty()) inner.pop_back();
    } else if (c != '<' && c != '>') {
      inner.push_back(c);
    }
    previous = c;
  }
  return kind;
}

size_t NextOf(const char* text, size_t size, size_t from, char wanted) {
  const void* found = std::memchr(text + from, wanted, size - from);
  return found ? static_cast<size_t>(static_cast<const char*>(found) - text) : size;
}

}  // namespace

CMarkupNode::CMarkupNode(std::string name, std::string attributes, CMarkupNode* parent)
    : m_strName(std::move(name)), m_strAttributes(std::move(attributes)), m_pParent(parent) {}

CMarkupNode::~CMarkupNode() { DeleteChildren(); }

void CMarkupNode::DeleteChildren() {
  std::vector<std::unique_ptr<CMarkupNode>> pending = std::move(m_children);
  m_children.clear();
  while (!pending.empty()) {
    std::unique_ptr<CMarkupNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->m_children) pending.push_back(std::move(child));
    node->m_children.clear();
  }  // each node dies childless, so no destructor recurses
}

bool CMarkupReader::Parse(const std::string& answer) {
  m_strText.resize(answer.size());
  m_strText.erase(std::remove_copy_if(answer.begin(), answer.end(), m_strText.begin(),
                                      [](char c) { return c == '\n' || c == '\r' || c == '\t'; }),
                  m_strText.end());
  m_top.DeleteChildren();
  m_top.m_strName.clear();
  m_top.m_strAttributes.clear();
  m_top.m_strValue.clear();
  m_pCursor = &m_top;

  std::string tag, characters, inner;
  bool insideTag = false;
  const char* const text = m_strText.data();
  const size_t size = m_strText.size();
  // Plain runs are appended whole; the next '<' and '>' are each searched once per pass over the
  // text, so the scan stays linear however the two are spread.
  size_t at = 0;
  size_t nextOpen = NextOf(text, size, 0, '<'), nextClose = NextOf(text, size, 0, '>');
  for (;;) {
    if (nextOpen < at) nextOpen = NextOf(text, size, at, '<');
    if (nextClose < at) nextClose = NextOf(text, size, at, '>');
    size_t special = std::min(nextOpen, nextClose);
    (insideTag ? tag : characters).append(text + at, special - at);
    if (special == size) break;
    at = special + 1;
    if (text[special] == '<') {
      tag.push_back('<');
      m_pCursor->m_strValue = TrimText(characters);
      characters.clear();
      insideTag = true;
      continue;
    }
    tag.push_back('>');
    TagKind kind = ClassifyTag(tag, inner);
    tag.clear();
    insideTag = false;
    if (kind == TagKind::kStart || kind == TagKind::kEmpty) OpenElement(inner);
    if ((kind == TagKind::kEnd || kind == TagKind::kEmpty) && m_pCursor->m_pParent) {
      m_pCursor = m_pCursor->m_pParent;
    }
  }
  return true;
}

void CMarkupReader::OpenElement(const std::string& inner) {
  std::string name, attributes;
  SplitTag(inner, name, attributes);
  if (m_top.m_strName.empty()) {  // the first element is the root, held by the top node itself
    m_top.m_strName = std::move(name);
    m_top.m_strAttributes = std::move(attributes);
    return;
  }
  m_pCursor->m_children.push_back(std::make_unique<CMarkupNode>(std::move(name), std::move(attributes), m_pCursor));
  m_pCursor = m_pCursor->m_children.back().get();
}

std::vector<std::string> CMarkupReader::FindAll(const std::string& name) const {
  std::vector<std::string> values;
  // Explicit stack of (node, next child index): depth first, a node before its children.
  std::vector<std::pair<const CMarkupNode*, size_t>> stack{{&m_top, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next == node->m_children.size()) {
      stack.pop_back();
      continue;
    }
    const CMarkupNode* child = node->m_children[next++].get();
    if (child->m_strName == name) values.push_back(child->m_strValue);
    stack.emplace_back(child, 0);
  }
  return values;
}

}  // namespace reference
