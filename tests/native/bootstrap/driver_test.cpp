// Driver families against a fake file system: installed detection across both folder variants,
// the version check, the install-or-update decision and the phone's installer.
#include "bootstrap/core/driver_decisions.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/core/driver_tables.h"

namespace qv::bootstrap {
namespace {

const std::wstring kPf = L"C:\\PF";

// Installed files and their versions, by full path.
struct FakeFiles {
  std::map<std::wstring, std::wstring> files;
  PathTest Exists() const {
    return [this](const std::wstring& p) { return files.count(p) > 0; };
  }
  FileVersionReader Version() const {
    return [this](const std::wstring& p) { return files.at(p); };
  }
  void Install(const std::wstring& folder, int type) {
    for (const DriverFilePair& pair : DriverFilePairs(type)) files[folder + L'\\' + pair.name32] = L"1.0.0.0";
  }
};

// A family complete in one folder variant is checked with the driver steps' trace.
TEST(InstalledDriver, AFamilySplitOverBothFolderVariantsIsNotInstalled) {
  // One ZodavozUro pair missing in both variants: the unison family is not installed.
  const std::wstring unison = GetDriverFolder(kPf, kDriverUnison);
  FakeFiles fs;
  fs.Install(unison, kDriverUnison);
  fs.files.erase(unison + L"\\qvandnetmodem.sys");
  fs.Install(unison + L"s", kDriverZodavozUro);
  const InstalledDriverCheck partial = CheckInstalledDriver(kPf, kDriverUnison, fs.Exists());
  EXPECT_FALSE(partial.installed);
  EXPECT_EQ(partial.passes[0].missing, 1);
  EXPECT_EQ(partial.passes[1].missing, 6);
}

TEST(DriverVersion, AnyConfiguredFileOlderOrMissingIsOutdated) {
  const std::wstring dir = GetDriverFolder(kPf, kDriverUnison);
  std::map<std::wstring, std::wstring> keys = {{L"driver_version", L"3.0.0.1"}};
  const KeyReader read = [&](const std::wstring& k) { return keys[k]; };
  FakeFiles fs;
  auto outdated = [&](const std::wstring& folder) {
    return IsDriverVersionOutdated(kDriverUnison, folder, read, fs.Exists(), fs.Version());
  };
  fs.files[dir + L"\\qvusbdiag.sys"] = L"3.0.0.0";
  EXPECT_TRUE(outdated(dir));
  fs.files[dir + L"\\qvusbdiag.sys"] = L"3.0.0.1";
  EXPECT_FALSE(outdated(dir));

  fs.files[dir + L"s\\qvanddiag.sys"] = L"2.1";  // only in the folder variant
  keys[L"and_driver_version"] = L"2.0.0.5";
  EXPECT_FALSE(outdated(dir));
  keys[L"and_driver_version"] = L"2.1.0.1";
  EXPECT_TRUE(outdated(dir));

  // A configured file in neither variant is outdated, also behind an entry that is current.
  keys[L"and_driver_version"] = L"";
  keys[L"andnet_driver_version"] = L"0.0.0.1";
  EXPECT_TRUE(outdated(dir));
  fs.files[dir + L"\\qvandnetdiag.sys"] = L"5.0.0.0";
  EXPECT_FALSE(outdated(dir));
  EXPECT_TRUE(outdated(L""));
  keys.clear();
  EXPECT_FALSE(outdated(dir));
}

// Scripted answers to the decision's questions, with a record of what was asked.
struct Scripted {
  explicit Scripted(std::set<int> present, bool old = false) : installed(present), outdated(old) {}
  std::set<int> installed;
  bool outdated;
  std::vector<std::wstring> asked;
  DriverQueries Queries() {
    return {[this](int t) {
              asked.push_back(L"installed " + std::to_wstring(t));
              return installed.count(t) > 0;
            },
            [this](int t, bool online) {
              asked.push_back(L"outdated " + std::to_wstring(t) + (online ? L" on" : L" off"));
              return outdated;
            }};
  }
};
using Asked = std::vector<std::wstring>;

TEST(RequireUpDrv, OnlineSeparateDriversNeedTheOverwriteFlagThenTheTargetFamilyDecides) {
  Scripted s({kDriverModem, kDriverUnison});
  EXPECT_TRUE(DecideRequireUpDrv(true, kDriverUnison, true, s.Queries()));
  EXPECT_EQ(s.asked, Asked{L"installed 3"});
  s.asked.clear();
  EXPECT_FALSE(DecideRequireUpDrv(true, kDriverUnison, false, s.Queries()));
  EXPECT_EQ(s.asked, (Asked{L"installed 3", L"installed 1", L"outdated 1 on"}));

  Scripted none({});
  EXPECT_TRUE(DecideRequireUpDrv(true, kDriverNone, false, none.Queries()));
  EXPECT_EQ(none.asked.back(), L"installed 2");
  Scripted old({kDriverCbwUnison}, true);
  EXPECT_TRUE(DecideRequireUpDrv(true, kDriverAndroid, false, old.Queries()));
  EXPECT_EQ(old.asked.back(), L"outdated 2 on");
}

TEST(RequireUpDrv, OfflineDependsOnThePhonesOwnDriver) {
  Scripted s({kDriverAndroid});
  EXPECT_FALSE(DecideRequireUpDrv(false, kDriverNone, true, s.Queries()));
  EXPECT_TRUE(s.asked.empty());
  EXPECT_TRUE(DecideRequireUpDrv(false, kDriverCbwUnison, false, s.Queries()));
  EXPECT_FALSE(DecideRequireUpDrv(false, kDriverModem, true, s.Queries()));
  EXPECT_EQ(s.asked.back(), L"outdated 3 off");
  s.outdated = true;
  EXPECT_TRUE(DecideRequireUpDrv(false, kDriverModem, false, s.Queries()));
  Scripted clean({kDriverCbwUnison});
  EXPECT_FALSE(DecideRequireUpDrv(false, kDriverModem, false, clean.Queries()));
  EXPECT_EQ(clean.asked.back(), L"outdated 2 off");
}

TEST(PreloadDriver, ASafeNameLiesBesideTheProgramAndTheTypeTextNamesTheFamily) {
  const PreloadDriver modem = FindPreloadDriver(L"C:\\T\\E\\", L"drv\\setup.exe", L"MODEM", kDriverNone);
  EXPECT_EQ(modem.path, L"C:\\T\\E\\drv\\setup.exe");
  EXPECT_EQ(modem.type, kDriverModem);
  EXPECT_FALSE(modem.unison);
  // Only "unison" exactly marks the run's text; any spelling names the family.
  EXPECT_TRUE(FindPreloadDriver(L"C:\\T\\E\\", L"u.msi", L"unison", kDriverNone).unison);
  const PreloadDriver spelled = FindPreloadDriver(L"C:\\T\\E\\", L"u.msi", L"Unison", kDriverNone);
  EXPECT_FALSE(spelled.unison);
  EXPECT_EQ(spelled.type, kDriverUnison);
  EXPECT_EQ(FindPreloadDriver(L"C:\\T\\E\\", L"u.msi", L"other", kDriverAndroid).type, kDriverAndroid);
  // A name that leaves the folder or names a device is none, and leaves the family as it was.
  for (const wchar_t* name : {L"", L"..\\setup.exe", L"C:\\setup.exe", L"nul.msi"}) {
    const PreloadDriver refused = FindPreloadDriver(L"C:\\T\\E\\", name, L"modem", kDriverAndroid);
    EXPECT_TRUE(refused.path.empty()) << name;
    EXPECT_EQ(refused.type, kDriverAndroid) << name;
    EXPECT_TRUE(SafePreloadName(name).empty()) << name;
  }
}

// The rest of the installer's choice and its command (msiexec by its full path on a quoted package)
// are traced with the workflow's installation.
TEST(DriverInstaller, OnlineThePhonesInstallerIsRunWhenTheServerNamesIt) {
  EXPECT_EQ(ChooseDriverInstaller(true, true, L"C:\\T\\E\\d.msi"), DriverInstallerSource::Preload);
}

}  // namespace
}  // namespace qv::bootstrap
