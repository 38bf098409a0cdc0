// The answer reader as it was before it was made faster, kept for the tests only: the differential
// test and fuzz target require the current reader to give exactly its results on every input.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace reference {

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


}  // namespace reference
