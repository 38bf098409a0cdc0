// Throughput of the answer reader beside pugixml on the same generated software lists: parse
// the whole answer, then collect every sw_uri.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>
#include <string>

#include "updateclient/core/markup_reader.h"

using namespace qv::updateclient;

namespace {

std::string SoftwareList(size_t bytes) {
  std::string answer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<result status=\"OK\" count=\"n\">\r\n";
  for (size_t n = 0; answer.size() < bytes; ++n) {
    std::string id = std::to_string(n);
    answer += "\t<item kind=\"sw\">\r\n\t\t<sw_version>APP_" + id + "</sw_version>\r\n\t\t<sw_uri>http://dl.example/p/" +
              id + "/</sw_uri>\r\n\t\t<sw_recommand_uri>http://dl.example/r/" + id +
              "/</sw_recommand_uri>\r\n\t\t<notes/>\r\n\t</item>\r\n";
  }
  return answer + "</result>\r\n";
}

void ReaderParse(benchmark::State& state) {
  std::string answer = SoftwareList(static_cast<size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    CMarkupReader reader;
    reader.Parse(answer);
    benchmark::DoNotOptimize(reader.FindAll("sw_uri"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

void PugixmlParse(benchmark::State& state) {
  std::string answer = SoftwareList(static_cast<size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    pugi::xml_document document;
    document.load_buffer(answer.data(), answer.size());
    std::vector<std::string> uris;
    for (const pugi::xpath_node& node : document.select_nodes("//sw_uri")) uris.emplace_back(node.node().child_value());
    benchmark::DoNotOptimize(uris);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

}  // namespace

BENCHMARK(ReaderParse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(PugixmlParse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
