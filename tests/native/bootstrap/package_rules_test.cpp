// The online provisioning's decisions: the failure word of a failed check, the presence of the
// package's files, and the driver installer the server names (the package URL and the key of the
// installer's name are checked with the workflow).
#include "bootstrap/core/package_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
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

TEST(PackageRules, FailureWordIsTheFirstKnownWordContained) {
  EXPECT_STREQ(CheckFailureWord(L"MSG_SERVER_CONN_ERROR"), L"MSG_SERVER_CONN_ERROR");
  EXPECT_STREQ(CheckFailureWord(L"xMSG_SERVER_FAILx"), L"MSG_SERVER_FAIL");
  EXPECT_STREQ(CheckFailureWord(L"MSG_FUNCTION_FAIL MSG_SERVER_FAIL"), L"MSG_SERVER_FAIL");
  EXPECT_STREQ(CheckFailureWord(L"MSG_SUCCESS"), L"UNKNOWN");
  EXPECT_STREQ(CheckFailureWord(L"msg_server_fail"), L"UNKNOWN");
}

TEST(PackageRules, PackageFilesArePresentOnlyWhenEveryListedSafeNameExists) {
  const std::wstring folder = L"C:\\T\\PXPC\\";
  std::set<std::wstring> files = {folder + L"PXPC.exe", folder + L"data\\a.bin", L"C:\\T\\outside.txt"};
  FileTest exists = [&](const std::wstring& p) { return files.count(p) > 0; };
  FakeIni ini{{{L"filecount", L"2"}, {L"file00", L"PXPC.exe"}, {L"file01", L"data\\a.bin"}}};
  EXPECT_TRUE(AllPackageFilesPresent(folder, ini.Reader(), exists));

  files.erase(folder + L"data\\a.bin");
  EXPECT_FALSE(AllPackageFilesPresent(folder, ini.Reader(), exists));

  // A count past the list asks for file02, which is missing; a missing or negative count lists none.
  files.insert(folder + L"data\\a.bin");
  ini.values[L"filecount"] = L"3";
  EXPECT_FALSE(AllPackageFilesPresent(folder, ini.Reader(), exists));
  for (const wchar_t* none : {L"", L"-1", L"x"}) {
    ini.values[L"filecount"] = none;
    EXPECT_TRUE(AllPackageFilesPresent(folder, ini.Reader(), exists)) << none;
  }

  // A name that climbs out of the folder is never present, even when the file it reaches exists.
  ini.values = {{L"filecount", L"1"}, {L"file00", L"..\\outside.txt"}};
  EXPECT_FALSE(AllPackageFilesPresent(folder, ini.Reader(), exists));
}

TEST(PackageRules, ServerDriverChoice) {
  FakeIni ini{{{L"driver_name", L"unison.msi"}, {L"driver_name_cbw_unison", L"cbw.exe"}}};
  auto choose = [&](const std::wstring& type, const std::wstring& preload) {
    return ChooseServerDriver(type, preload, ini.Reader());
  };
  ServerDriverChoice choice = choose(L"unison", L"E:\\x\\other.exe");
  EXPECT_EQ(choice.step, ServerDriverStep::Download);
  EXPECT_EQ(choice.name, L"unison.msi");
  EXPECT_EQ(choose(L"", L"E:\\x\\other.exe").name, L"cbw.exe");

  // The phone's installer by file name, in any letter case; with no installer on the phone and
  // no name on the server the two match as well.
  EXPECT_EQ(choose(L"unison", L"E:\\x\\UNISON.MSI").step, ServerDriverStep::SameAsPreload);
  EXPECT_EQ(choose(L"unison", L"UNISON.msi").step, ServerDriverStep::SameAsPreload);
  ini.values.erase(L"driver_name");
  EXPECT_EQ(choose(L"unison", L"").step, ServerDriverStep::SameAsPreload);
  EXPECT_EQ(choose(L"unison", L"E:\\x\\other.exe").step, ServerDriverStep::Refuse);  // empty name

  // The PC tool installs the driver itself: nothing else is read.
  ini.values[L"who_install_driver"] = L"pxpc";
  EXPECT_EQ(choose(L"unison", L"").step, ServerDriverStep::PcToolInstalls);
  ini.values[L"who_install_driver"] = L"PXPC2";
  EXPECT_NE(choose(L"unison", L"").step, ServerDriverStep::PcToolInstalls);

  // A backslash is refused even when its last part names the phone's installer; so is any name
  // that leaves the folder.
  for (const wchar_t* name : {L"sub\\cbw.exe", L"..\\cbw.exe", L"C:cbw.exe", L"/cbw.exe", L"../cbw.exe"}) {
    ini.values[L"who_install_driver"] = L"";
    ini.values[L"driver_name_cbw_unison"] = name;
    ServerDriverChoice refused = choose(L"", L"E:\\cbw.exe");
    EXPECT_EQ(refused.step, ServerDriverStep::Refuse) << name;
    EXPECT_EQ(refused.name, name);
  }
}

}  // namespace
}  // namespace qv::bootstrap
