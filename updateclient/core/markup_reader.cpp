// Single pass over the answer. Outside a tag, characters accumulate as the current element's text;
// each '<' hands that text to the current element and starts a tag, each '>' classifies the tag.
// Text and tags are ranges of the reader's copy of the answer while they are contiguous (the usual
// case), so a well-formed answer is read without copying any of it again; elements come from blocks
// and link to their siblings, and one array of child pointers is filled at the end.
#include "updateclient/core/markup_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "updateclient/core/text.h"

namespace qv::updateclient {

namespace {

enum class TagKind { kStart, kEnd, kEmpty, kSkipped };

// Any tag, including one with several '<' or none (a '>' outside a tag): declarations and
// comments are skipped; a '/' right after a '<' marks an end tag and one right before '>' an
// empty-element tag; the inner text is every other character but '<' and '>'.
TagKind ClassifyTag(const char* tag, size_t length, std::string& inner) {
  inner.clear();
  if (length == 0) return TagKind::kSkipped;
  TagKind kind = TagKind::kStart;
  char previous = '\0';
  for (size_t i = 0; i < length; ++i) {
    const char c = tag[i];
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

// Line ends and tabs count as if they were not there, wherever they stand.
bool IsIgnored(char c) { return c == '\n' || c == '\r' || c == '\t'; }

bool HasIgnored(const char* begin, const char* end) {
  // Eight bytes at a time: a word without any byte below 0x0E holds none of the three.
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  const char* c = begin;
  for (; end - c >= 8; c += 8) {
    uint64_t word;
    std::memcpy(&word, c, sizeof(word));
    if (((word - kOnes * 0x0E) & ~word & kHighs) == 0) continue;
    for (int i = 0; i < 8; ++i) {
      if (IsIgnored(c[i])) return true;
    }
  }
  for (; c != end; ++c) {
    if (IsIgnored(*c)) return true;
  }
  return false;
}

std::string WithoutIgnored(const char* begin, const char* end) {
  std::string text;
  for (const char* c = begin; c != end; ++c) {
    if (!IsIgnored(*c)) text.push_back(*c);
  }
  return text;
}

// Character data between tags: a range of the text while it is contiguous, copied into a buffer
// only when a stray '>' splits it.
class PendingText {
 public:
  void Append(const char* begin, const char* end) {
    if (begin == end) return;
    if (m_bBuffered) {
      m_buffer.append(begin, end);
    } else if (m_pBegin == m_pEnd) {
      m_pBegin = begin;
      m_pEnd = end;
    } else if (m_pEnd == begin) {
      m_pEnd = end;
    } else {
      m_buffer.assign(m_pBegin, m_pEnd);
      m_buffer.append(begin, end);
      m_bBuffered = true;
    }
  }

  // The trimmed text without line ends and tabs, kept in |kept| when it is not a plain range of
  // the answer; starts afresh. (Trimming first is the same: line ends and tabs are white space.)
  std::string_view MoveTrimmed(std::deque<std::string>& kept) {
    const char* begin = m_bBuffered ? m_buffer.data() : m_pBegin;
    const char* end = m_bBuffered ? m_buffer.data() + m_buffer.size() : m_pEnd;
    TrimRange(begin, end);
    std::string_view text(begin, static_cast<size_t>(end - begin));
    if (m_bBuffered || HasIgnored(begin, end)) {
      kept.push_back(WithoutIgnored(begin, end));
      text = kept.back();
    }
    m_pBegin = m_pEnd = nullptr;
    m_bBuffered = false;
    m_buffer.clear();
    return text;
  }

 private:
  const char* m_pBegin = nullptr;
  const char* m_pEnd = nullptr;
  bool m_bBuffered = false;
  std::string m_buffer;
};

}  // namespace

bool CMarkupReader::Parse(const std::string& answer) {
  m_strText = answer;  // the tree's texts are views of this copy
  m_nNodes = 0;
  m_kept.clear();
  m_top = CMarkupNode();
  m_pCursor = &m_top;

  const char* const text = m_strText.data();
  const size_t size = m_strText.size();
  PendingText characters;
  size_t tagBegin = 0;
  bool insideTag = false;
  bool plainTag = true;  // the tag's only '<' is its first character
  // The next '<' and '>' are each searched once per pass over the text, so the scan stays linear
  // however the two are spread.
  size_t at = 0;
  size_t nextOpen = NextOf(text, size, 0, '<'), nextClose = NextOf(text, size, 0, '>');
  for (;;) {
    if (nextOpen < at) nextOpen = NextOf(text, size, at, '<');
    if (nextClose < at) nextClose = NextOf(text, size, at, '>');
    const size_t special = std::min(nextOpen, nextClose);
    if (!insideTag) characters.Append(text + at, text + special);
    if (special == size) break;
    at = special + 1;
    if (text[special] == '<') {
      m_pCursor->m_strValue = characters.MoveTrimmed(m_kept);
      if (insideTag) {
        plainTag = false;
      } else {
        tagBegin = special;
        insideTag = true;
        plainTag = true;
      }
      continue;
    }
    if (insideTag) {
      CloseTag(text + tagBegin, special + 1 - tagBegin, plainTag);
      insideTag = false;
    } else {
      CloseTag(text + special, 1, false);  // a '>' outside any tag is a tag of its own
    }
  }
  LinkChildren();
  return true;
}

CMarkupNode* CMarkupReader::NewNode() {
  const size_t block = m_nNodes / kBlockNodes;
  if (block == m_blocks.size()) m_blocks.push_back(std::make_unique<CMarkupNode[]>(kBlockNodes));
  CMarkupNode* node = &m_blocks[block][m_nNodes % kBlockNodes];
  ++m_nNodes;
  *node = CMarkupNode();
  return node;
}

void CMarkupReader::LinkChildren() {
  // Every node but the root is one node's child: one slot each, a parent's children side by side.
  m_childSlots.resize(m_nNodes);
  size_t used = 0;
  auto place = [this, &used](CMarkupNode& node) {
    node.m_children.m_pFirst = m_childSlots.data() + used;
    node.m_children.m_nCount = node.m_nChildren;
    for (CMarkupNode* child = node.m_pFirstChild; child; child = child->m_pNextSibling) m_childSlots[used++] = child;
  };
  place(m_top);
  for (size_t i = 0; i < m_nNodes; ++i) place(m_blocks[i / kBlockNodes][i % kBlockNodes]);
}

std::string_view CMarkupReader::Keep(std::string text) {
  m_kept.push_back(std::move(text));
  return m_kept.back();
}

void CMarkupReader::CloseTag(const char* tag, size_t length, bool plain) {
  TagKind kind = TagKind::kStart;
  const char* inner = tag + 1;
  const char* innerEnd = tag + length - 1;
  std::string collected;
  if (plain && HasIgnored(tag, tag + length)) plain = false;  // read without its line ends below
  if (plain) {
    // '<', the inner text and '>', with no other '<' in between: read in place.
    if (inner[0] == '!' || inner[0] == '?') return;
    if (inner < innerEnd && *inner == '/') {
      kind = TagKind::kEnd;
      ++inner;
    }
    if (length >= 3 && tag[length - 2] == '/') {
      kind = TagKind::kEmpty;
      if (inner < innerEnd) --innerEnd;
    }
  } else {
    const std::string visible = WithoutIgnored(tag, tag + length);
    kind = ClassifyTag(visible.data(), visible.size(), collected);
    if (kind == TagKind::kSkipped) return;
    const std::string_view kept = Keep(std::move(collected));  // the name and attributes point into it
    inner = kept.data();
    innerEnd = kept.data() + kept.size();
  }
  if (kind == TagKind::kStart || kind == TagKind::kEmpty) OpenElement(inner, static_cast<size_t>(innerEnd - inner));
  if ((kind == TagKind::kEnd || kind == TagKind::kEmpty) && m_pCursor->m_pParent) m_pCursor = m_pCursor->m_pParent;
}

void CMarkupReader::OpenElement(const char* inner, size_t length) {
  // The name runs up to the first blank; the rest, trimmed, is the attribute text.
  const char* end = inner + length;
  const char* blank = static_cast<const char*>(std::memchr(inner, ' ', length));
  const char* nameEnd = blank ? blank : end;
  const char* attributes = blank ? blank + 1 : end;
  const char* attributesEnd = end;
  TrimRange(attributes, attributesEnd);
  const std::string_view name(inner, static_cast<size_t>(nameEnd - inner));
  const std::string_view attributeText(attributes, static_cast<size_t>(attributesEnd - attributes));
  if (m_top.m_strName.empty()) {  // the first element is the root, held by the top node itself
    m_top.m_strName = name;
    m_top.m_strAttributes = attributeText;
    return;
  }
  CMarkupNode* node = NewNode();
  node->m_strName = name;
  node->m_strAttributes = attributeText;
  node->m_pParent = m_pCursor;
  (m_pCursor->m_pLastChild ? m_pCursor->m_pLastChild->m_pNextSibling : m_pCursor->m_pFirstChild) = node;
  m_pCursor->m_pLastChild = node;
  ++m_pCursor->m_nChildren;
  m_pCursor = node;
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
    const CMarkupNode* child = node->m_children[next++];
    if (child->m_strName == name) values.emplace_back(child->m_strValue);
    stack.emplace_back(child, 0);
  }
  return values;
}

bool IsAcceptedAnswer(const CMarkupReader& reader) {
  size_t at = reader.Top().m_strAttributes.find("OK");
  return at != std::string::npos && at > 0;
}

std::string ValueAt(const std::vector<std::string>& values, size_t index) {
  return index < values.size() ? values[index] : std::string();
}

}  // namespace qv::updateclient
