// The walk along a path: the texts of the steps asked whether they are links, from the folder or
// from the user's profile down to the file, and of the folders held on the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/core/path_text.h"

namespace qv::bootstrap {
namespace {

// Which steps are asked, letter case and separators aside, is checked by the path steps' fuzz target.
TEST(PathWalk, AsksEveryStepFromTheFolderDownToTheFileWithOneBackslashBetween) {
  std::vector<std::wstring> asked;
  auto noLinks = [&](const std::wstring& path) {
    asked.push_back(path);
    return false;
  };
  EXPECT_TRUE(IsPathFreeOfLinks(L"C:\\t\\", L"E\\tools//x.dll", noLinks));
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:\\t", L"C:\\t\\E", L"C:\\t\\E\\tools", L"C:\\t\\E\\tools\\x.dll"}));
}

TEST(PathWalk, InsideTheProfileTheStepsBeginWithTheProfileAsItIsSpelled) {
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
  using Steps = std::vector<std::wstring>;
  EXPECT_EQ(qv::FolderStepsBelow(profile, L"c:\\Users\\ann\\AppData\\Templates\\E\\"),
            (Steps{L"C:\\users\\Ann", L"c:\\Users\\ann\\AppData", L"c:\\Users\\ann\\AppData\\Templates",
                   L"c:\\Users\\ann\\AppData\\Templates\\E"}));
  // Doubled separators make no empty step.
  EXPECT_EQ(qv::FolderStepsBelow(profile, profile + L"\\\\T"), (Steps{profile, profile + L"\\\\T"}));
}

}  // namespace
}  // namespace qv::bootstrap
