// The reader against its earlier implementation (tests/native/updateclient/reference_markup_reader):
// the same tree and the same FindAll results on the fuzz seeds, generated answers, random texts
// over the characters that matter and mutations of the seeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/native/updateclient/reference_markup_reader.h"
#include "updateclient/core/markup_reader.h"

using namespace qv::updateclient;

namespace {

// Compares both trees node by node (iteratively: inputs may nest deeply); the first difference.
std::string TreeDifference(const CMarkupNode& top, const reference::CMarkupNode& expected) {
  std::vector<std::pair<const CMarkupNode*, const reference::CMarkupNode*>> pending{{&top, &expected}};
  while (!pending.empty()) {
    auto [node, want] = pending.back();
    pending.pop_back();
    if (node->m_strName != want->m_strName || node->m_strAttributes != want->m_strAttributes ||
        node->m_strValue != want->m_strValue || node->m_children.size() != want->m_children.size()) {
      return "node '" + want->m_strName + "' differs: got '" + std::string(node->m_strName) + "' [" +
             std::string(node->m_strAttributes) + "] '" + std::string(node->m_strValue) + "' with " +
             std::to_string(node->m_children.size()) + " children";
    }
    for (size_t i = 0; i < node->m_children.size(); ++i) {
      if (node->m_children[i]->m_pParent != node) return "a child of '" + want->m_strName + "' names another parent";
      pending.emplace_back(node->m_children[i], want->m_children[i].get());
    }
  }
  return "";
}

void ExpectSameReading(const std::string& input) {
  CMarkupReader reader;
  reference::CMarkupReader expected;
  reader.Parse("<stale><x>old</x></stale>");  // a reader used before must not carry anything over
  reader.Parse(input);
  expected.Parse(input);
  ASSERT_EQ(TreeDifference(reader.Top(), expected.Top()), "") << input;
  for (const char* name : {"x", "sw_uri", "country_code", "", "a", "item"}) {
    ASSERT_EQ(reader.FindAll(name), expected.FindAll(name)) << name << " in " << input;
  }
  ASSERT_EQ(IsAcceptedAnswer(reader), expected.Top().m_strAttributes.find("OK") + 1 > 1) << input;
}

std::vector<std::string> Seeds() {
  std::vector<std::string> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(QV_READER_SEEDS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    seeds.push_back(bytes.str());
  }
  return seeds;
}

TEST(MarkupReaderDifferential, SeedsAndGeneratedAnswers) {
  std::vector<std::string> seeds = Seeds();
  ASSERT_FALSE(seeds.empty());
  for (const std::string& seed : seeds) ExpectSameReading(seed);
  std::string list = "<?xml version=\"1.0\"?>\r\n<result status=\"OK\">\r\n";
  for (int n = 0; n < 2000; ++n) {
    list += "\t<item kind=\"sw\">\r\n\t\t<sw_version>APP_" + std::to_string(n) + "</sw_version>\r\n\t\t<sw_uri> http://d/" +
            std::to_string(n) + "/ </sw_uri>\r\n\t\t<notes/>\r\n\t</item>\r\n";
  }
  ExpectSameReading(list + "</result>\r\n");
  for (const char* odd : {"", ">", "<>", "</>", "<//>", "< a>", "<a/ >", "<a >x</a >", "<a<b>c>d</", "x>y<a>z",
                          "<!-- c --><r>1</r>", "<?x?><r a='OK'>", "<r>a>b<c/>d</r>e", "<a\t\nb c=\"1\"  >v</a>"}) {
    ExpectSameReading(odd);
  }
}

TEST(MarkupReaderDifferential, RandomTextsAndMutatedSeeds) {
  std::mt19937 random(20261207);
  const std::string alphabet = "<<<>>>//!? a=\"OK\tx\n\r";
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 64, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    ExpectSameReading(text);
  }
  for (const std::string& seed : Seeds()) {
    for (int round = 0; round < 2000 && !seed.empty(); ++round) {
      std::string mutated = seed;
      for (int edits = 1 + random() % 4; edits > 0; --edits) {
        mutated[random() % mutated.size()] = alphabet[random() % alphabet.size()];
      }
      ExpectSameReading(mutated);
    }
  }
}

}  // namespace
