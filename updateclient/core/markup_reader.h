// Reader for the update server's tag-structured answers: builds a tree of elements, then collects
// the values of every element of a given name. It is deliberately forgiving: any input, however
// malformed, yields some tree, in time linear in the input's size.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CMarkupNode {
 public:
  CMarkupNode() = default;
  CMarkupNode(std::string name, std::string attributes, CMarkupNode* parent);
  ~CMarkupNode();  // iterative, so a deeply nested answer cannot exhaust the stack
  CMarkupNode(const CMarkupNode&) = delete;
  CMarkupNode& operator=(const CMarkupNode&) = delete;

  std::string m_strName;
  std::string m_strAttributes;  // everything after the first blank inside the start tag, trimmed
  std::string m_strValue;       // the element's character data, trimmed
  std::vector<std::unique_ptr<CMarkupNode>> m_children;
  CMarkupNode* m_pParent = nullptr;

  void DeleteChildren();
};

class CMarkupReader {
 public:
  // Builds the tree of |text|, replacing any earlier one. Always succeeds.
  bool Parse(const std::string& text);

  // Values of all elements named |name| (exact, case-sensitive), depth first in document order.
  // The root element itself is never a match.
  std::vector<std::string> FindAll(const std::string& name) const;

  // The root element; its attribute text carries a service answer's success mark.
  const CMarkupNode& Top() const { return m_top; }

 private:
  void OpenElement(const std::string& inner);

  std::string m_strText;
  CMarkupNode m_top;
  CMarkupNode* m_pCursor = &m_top;
};

// A service answer is accepted when its root's attribute text holds "OK" after its first character.
bool IsAcceptedAnswer(const CMarkupReader& reader);

// The n-th entry of |values|, or empty text past its end: parallel element lists may differ in length.
std::string ValueAt(const std::vector<std::string>& values, size_t index);
