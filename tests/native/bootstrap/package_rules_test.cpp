// The online provisioning's decisions: the failure word of a failed check and the driver
// installer the server names (the package URL is checked with the workflow).
#include "bootstrap/core/package_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qv::bootstrap {
namespace {

struct FakeIni {
  std::map<std::wstring, std::wstring> values;
  ListKeyReader Reader() const {
    return [this](const std::wstring& key) {
      auto found = values.find(key);
      return found == values.end() ? std::wstring() : found->second;
    };
  }
};

// The rules behind these choices are checked by the configuration lists' fuzz target.
TEST(PackageRules, FailureWordIsTheFirstKnownWordContainedInTheOrderOfTheList) {
  EXPECT_STREQ(CheckFailureWord(L"MSG_FUNCTION_FAIL MSG_SERVER_FAIL"), L"MSG_SERVER_FAIL");
}

TEST(PackageRules, TheServersDriverIsThePhonesWhenItsNameIsThePhonesInstallers) {
  FakeIni ini{{{L"driver_name", L"unison.msi"}}};
  auto choose = [&](const std::wstring& preload) { return ChooseServerDriver(L"unison", preload, ini.Reader()); };
  const ServerDriverChoice choice = choose(L"E:\\x\\other.exe");
  EXPECT_EQ(choice.step, ServerDriverStep::Download);
  EXPECT_EQ(choice.name, L"unison.msi");
  // The phone's installer by file name, in any letter case; with no installer on the phone and
  // no name on the server the two match as well.
  EXPECT_EQ(choose(L"E:\\x\\UNISON.MSI").step, ServerDriverStep::SameAsPreload);
  ini.values.erase(L"driver_name");
  EXPECT_EQ(choose(L"").step, ServerDriverStep::SameAsPreload);
}

}  // namespace
}  // namespace qv::bootstrap
