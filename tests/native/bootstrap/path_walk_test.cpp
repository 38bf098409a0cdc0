// The walk along a path: which steps are asked whether they are links, from the folder or from
// the user's profile down to the file, and the folders held on the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/core/path_text.h"

namespace qv::bootstrap {
namespace {

TEST(PathWalk, AsksEveryStepFromTheFolderDownToTheFile) {
  std::vector<std::wstring> asked;
  auto noLinks = [&](const std::wstring& path) {
    asked.push_back(path);
    return false;
  };
  EXPECT_TRUE(IsPathFreeOfLinks(L"C:\\t\\", L"E\\tools//x.dll", noLinks));
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:\\t", L"C:\\t\\E", L"C:\\t\\E\\tools", L"C:\\t\\E\\tools\\x.dll"}));
  asked.clear();
  EXPECT_TRUE(IsPathFreeOfLinks(L"E:\\", L"", noLinks));
  EXPECT_EQ(asked, std::vector<std::wstring>{L"E:\\"});

  // Any one link refuses, and nothing below it is asked.
  for (const wchar_t* link : {L"C:\\t", L"C:\\t\\PXPC", L"C:\\t\\PXPC\\PXPC.exe"}) {
    asked.clear();
    auto oneLink = [&](const std::wstring& path) {
      asked.push_back(path);
      return path == link;
    };
    EXPECT_FALSE(IsPathFreeOfLinks(L"C:\\t", L"PXPC\\PXPC.exe", oneLink)) << link;
    EXPECT_EQ(asked.back(), link);
  }
}

TEST(PathWalk, InsideTheProfileAsksEveryFolderFromTheProfileDown) {
  std::vector<std::wstring> asked;
  auto record = [&](const std::wstring& path) {
    asked.push_back(path);
    return false;
  };
  const std::wstring profile = L"C:\\users\\Ann";
  EXPECT_TRUE(IsPathFreeOfLinksBelow(profile, L"c:\\Users\\ann\\AppData\\Templates\\E\\", L"PXPC.exe", record));
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:\\users\\Ann", L"C:\\users\\Ann\\AppData",
                                              L"C:\\users\\Ann\\AppData\\Templates",
                                              L"C:\\users\\Ann\\AppData\\Templates\\E",
                                              L"C:\\users\\Ann\\AppData\\Templates\\E\\PXPC.exe"}));

  // A parent folder that is a link refuses the file below it.
  auto parentLink = [](const std::wstring& path) { return path == L"C:\\users\\Ann\\AppData"; };
  EXPECT_FALSE(IsPathFreeOfLinksBelow(profile + L"\\", L"C:\\users\\Ann\\AppData\\T", L"x.log", parentLink));
  EXPECT_FALSE(IsPathFreeOfLinksBelow(profile, L"C:\\users\\Ann\\AppData", L"", parentLink));

  // A folder outside the profile, or one whose name merely begins like it, is asked from itself.
  for (const wchar_t* outside : {L"D:\\data", L"C:\\users\\Anna\\AppData", L"C:\\users"}) {
    asked.clear();
    EXPECT_TRUE(IsPathFreeOfLinksBelow(profile, outside, L"f", record)) << outside;
    EXPECT_EQ(asked.front(), outside);
  }
  asked.clear();
  EXPECT_TRUE(IsPathFreeOfLinksBelow(L"", L"C:\\t", L"f", record));  // no profile known
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:\\t", L"C:\\t\\f"}));
}

TEST(PathWalk, AFolderIsHeldFromTheProfileDownOneStepAtATime) {
  using Steps = std::vector<std::wstring>;
  const std::wstring profile = L"C:\\users\\Ann";
  EXPECT_EQ(qv::FolderStepsBelow(profile, L"c:\\Users\\ann\\AppData\\Templates\\E\\"),
            (Steps{L"C:\\users\\Ann", L"c:\\Users\\ann\\AppData", L"c:\\Users\\ann\\AppData\\Templates",
                   L"c:\\Users\\ann\\AppData\\Templates\\E"}));
  EXPECT_EQ(qv::FolderStepsBelow(profile + L"\\", profile), (Steps{profile}));
  // Doubled separators make no empty step.
  EXPECT_EQ(qv::FolderStepsBelow(profile, profile + L"\\\\T"), (Steps{profile, profile + L"\\\\T"}));
  EXPECT_EQ(qv::FolderStepsBelow(L"C:\\", L"C:\\x\\y"), (Steps{L"C:\\", L"C:\\x", L"C:\\x\\y"}));
  // Outside the profile, or a name that merely begins like it: the folder alone.
  EXPECT_EQ(qv::FolderStepsBelow(profile, L"C:\\users\\Anna\\T"), (Steps{L"C:\\users\\Anna\\T"}));
  EXPECT_EQ(qv::FolderStepsBelow(L"", L"D:\\data\\"), (Steps{L"D:\\data"}));
}

}  // namespace
}  // namespace qv::bootstrap
