// Reader for the update server's tag-structured answers: builds a tree of elements, then collects
// the values of every element of a given name. It is deliberately forgiving: any input, however
// malformed, yields some tree, in time linear in the input's size.
//
// The tree belongs to the reader and lives until the next Parse: names, attributes and values are
// views of the reader's copy of the answer, and the elements sit in blocks the reader owns, so a
// parse allocates almost nothing per element.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv::updateclient {

class CMarkupNode;

// The children of an element, in document order.
class CMarkupChildren {
 public:
  size_t size() const { return m_nCount; }
  bool empty() const { return m_nCount == 0; }
  CMarkupNode* operator[](size_t index) const { return m_pFirst[index]; }
  CMarkupNode* const* begin() const { return m_pFirst; }
  CMarkupNode* const* end() const { return m_pFirst + m_nCount; }

 private:
  friend class CMarkupReader;
  CMarkupNode* const* m_pFirst = nullptr;
  size_t m_nCount = 0;
};

class CMarkupNode {
 public:
  std::string_view m_strName;
  std::string_view m_strAttributes;  // everything after the first blank inside the start tag, trimmed
  std::string_view m_strValue;       // the element's character data, trimmed
  CMarkupChildren m_children;
  CMarkupNode* m_pParent = nullptr;

 private:
  friend class CMarkupReader;
  // Links while the tree is built; the reader turns them into m_children at the end.
  CMarkupNode* m_pFirstChild = nullptr;
  CMarkupNode* m_pLastChild = nullptr;
  CMarkupNode* m_pNextSibling = nullptr;
  size_t m_nChildren = 0;
};

class CMarkupReader {
 public:
  CMarkupReader() = default;
  CMarkupReader(const CMarkupReader&) = delete;
  CMarkupReader& operator=(const CMarkupReader&) = delete;

  // Builds the tree of |text|, replacing any earlier one. Always succeeds.
  bool Parse(const std::string& text);

  // Values of all elements named |name| (exact, case-sensitive), depth first in document order.
  // The root element itself is never a match.
  std::vector<std::string> FindAll(const std::string& name) const;

  // The root element; its attribute text carries a service answer's success mark.
  const CMarkupNode& Top() const { return m_top; }

 private:
  void CloseTag(const char* tag, size_t length, bool plain);
  void OpenElement(const char* inner, size_t length);
  CMarkupNode* NewNode();
  void LinkChildren();
  // A view of |text| that lives as long as the tree.
  std::string_view Keep(std::string text);

  std::string m_strText;
  CMarkupNode m_top;
  CMarkupNode* m_pCursor = &m_top;
  static constexpr size_t kBlockNodes = 1024;
  std::vector<std::unique_ptr<CMarkupNode[]>> m_blocks;
  size_t m_nNodes = 0;                      // nodes in use below the root
  std::vector<CMarkupNode*> m_childSlots;   // every node's children, each run contiguous
  std::deque<std::string> m_kept;           // texts that are not a plain range of the answer
};

// A service answer is accepted when its root's attribute text holds "OK" after its first character.
bool IsAcceptedAnswer(const CMarkupReader& reader);

// The n-th entry of |values|, or empty text past its end: parallel element lists may differ in length.
std::string ValueAt(const std::vector<std::string>& values, size_t index);

}  // namespace qv::updateclient
