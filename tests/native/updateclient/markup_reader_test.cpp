// The answer reader on well-formed answers and on the shapes servers really send (junk is for the
// property test and the fuzz target).
#include "updateclient/core/markup_reader.h"

#include <gtest/gtest.h>

using namespace qv::updateclient;

using Values = std::vector<std::string>;

TEST(MarkupReader, DeclarationSkippedNestedValuesInDocumentOrder) {
  CMarkupReader reader;
  reader.Parse("<?xml version=\"1.0\"?>\r\n<root status=\"OK\">\n\t<x>1</x><y><x> 2 </x></y><!-- c --></root>");
  EXPECT_EQ(reader.Top().m_strName, "root");
  EXPECT_EQ(reader.Top().m_strAttributes, "status=\"OK\"");
  EXPECT_EQ(reader.FindAll("x"), (Values{"1", "2"}));
  EXPECT_EQ(reader.FindAll("root"), Values{});  // the root is never a match
  EXPECT_EQ(reader.FindAll("X"), Values{});     // names are case-sensitive
}

TEST(MarkupReader, EmptyElementsKeepNestingAndTextOverwritesOuterValue) {
  CMarkupReader reader;
  reader.Parse("<r><a><b/><c>3</c>tail</a><d>4</d><a>   </a></r>");
  EXPECT_EQ(reader.FindAll("b"), Values{""});
  EXPECT_EQ(reader.FindAll("c"), Values{"3"});
  EXPECT_EQ(reader.FindAll("d"), Values{"4"});  // a sibling of a, not a child of b
  EXPECT_EQ(reader.FindAll("a"), (Values{"tail", ""}));
  ASSERT_EQ(reader.Top().m_children.size(), 3u);
  EXPECT_EQ(reader.Top().m_children[0]->m_children.size(), 2u);
}

TEST(MarkupReader, NameEndsAtFirstBlankAndAttributesAreTrimmed) {
  CMarkupReader reader;
  reader.Parse("<r><item    id=\"7\"  kind=x >v</item><plain>w</plain></r>");
  const CMarkupNode& item = *reader.Top().m_children[0];
  EXPECT_EQ(item.m_strName, "item");
  EXPECT_EQ(item.m_strAttributes, "id=\"7\"  kind=x");
  EXPECT_EQ(reader.Top().m_children[1]->m_strAttributes, "");
}

TEST(MarkupReader, SuccessMarkMustFollowFirstCharacterOfRootAttributes) {
  const std::pair<const char*, bool> cases[] = {{"<result status=\"OK\"/>", true}, {"<result OK=\"1\"></result>", false},
                                                {"<result status=\"FAIL\"></result>", false}, {"<result>OK</result>", false}};
  CMarkupReader reader;
  for (const auto& [answer, accepted] : cases) {
    reader.Parse(answer);
    EXPECT_EQ(IsAcceptedAnswer(reader), accepted) << answer;
  }
}

TEST(MarkupReader, DeepNestingNeitherRecursesNorLeaks) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<n>";
  deep += "<x>deep</x>";
  CMarkupReader reader;
  reader.Parse("<r>" + deep);
  EXPECT_EQ(reader.FindAll("x"), Values{"deep"});
  EXPECT_EQ(reader.FindAll("n").size(), 200000u);
}
