// The fuzz target's properties in every test run: on the fuzz seeds, on random texts over the
// characters that matter to the reader and on mutations of the seeds, all from a fixed seed.
#include "tests/native/updateclient/markup_reader_properties.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace qv::updateclient;

namespace {

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

TEST(MarkupReaderProperties, HoldOnSeedsRandomTextsAndMutatedSeeds) {
  const std::vector<std::string> seeds = Seeds();
  ASSERT_FALSE(seeds.empty());
  for (const std::string& seed : seeds) ASSERT_EQ(MarkupReaderPropertyFault(seed), "") << seed;

  std::mt19937 random(20261207);
  const std::string alphabet = "<<<>>>//!? a=\"OK\tx\n\r";
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 64, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    ASSERT_EQ(MarkupReaderPropertyFault(text), "") << text;
  }
  for (const std::string& seed : seeds) {
    for (int round = 0; round < 500 && !seed.empty(); ++round) {
      std::string mutated = seed;
      for (int edits = 1 + random() % 4; edits > 0; --edits) mutated[random() % mutated.size()] = alphabet[random() % alphabet.size()];
      ASSERT_EQ(MarkupReaderPropertyFault(mutated), "") << mutated;
    }
  }
}

}  // namespace
