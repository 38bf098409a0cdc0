// Which files must bear the maker's signature: code told by its first bytes whatever its name, or
// by a name that Windows runs or loads whatever the file holds.
#include <gtest/gtest.h>

#include <string>

#include "common/core/code_content.h"

namespace {

using qv::CodeKind;

CodeKind KindOf(const std::string& head) {
  return qv::CodeKindOfContent(reinterpret_cast<const unsigned char*>(head.data()), head.size());
}

bool IsCode(const std::string& name, const std::string& head) {
  return qv::IsCodeFile(name, reinterpret_cast<const unsigned char*>(head.data()), head.size());
}

const std::string kCompound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

TEST(CodeContent, ImagesCompoundDocumentsAndCabinetsAreToldByTheirFirstBytes) {
  EXPECT_EQ(KindOf("MZ"), CodeKind::Program);  // the two bytes the loader looks at are enough
  EXPECT_EQ(KindOf(kCompound + "rest"), CodeKind::CompoundDocument);
  EXPECT_EQ(KindOf(std::string("MSCF\0\0\0\0", 8)), CodeKind::Cabinet);
  for (const std::string& other : {std::string("mz\x90\0", 4), std::string("MSCf"), std::string("PK\3\4....")}) {
    EXPECT_EQ(KindOf(other), CodeKind::None) << other;
  }
  // The head is read only as far as it goes: a magic cut short is no code.
  EXPECT_EQ(KindOf("M"), CodeKind::None);
  EXPECT_EQ(KindOf(kCompound.substr(0, 7)), CodeKind::None);
  EXPECT_EQ(qv::CodeKindOfContent(nullptr, 0), CodeKind::None);
  // The whole compound signature counts, not its first bytes alone.
  EXPECT_EQ(KindOf(kCompound.substr(0, 7) + "X"), CodeKind::None);
  EXPECT_GE(qv::kCodeHeadBytes, kCompound.size());
}

// How a name is told is checked against its exact rule by the download texts' fuzz target.
TEST(CodeContent, AFileIsCodeByItsContentOrByItsName) {
  EXPECT_TRUE(IsCode("helper.bin", "MZ\x90"));  // a library under a harmless name
  EXPECT_TRUE(IsCode("x.dll", "not an image"));  // loaded by its name whatever it holds
  EXPECT_FALSE(IsCode("data\\readme.txt", "Read me"));
  // What Windows runs or loads by its name alone, whatever the list's order: the fuzz target reads
  // that list, so it is pinned here.
  for (const char* code : {"a.exe", "a.DLL", "a.sys", "a.msi", "a.cab", "a.com", "a.scr", "a.bat", "a.cmd"}) {
    EXPECT_TRUE(qv::IsCodeFileName(std::string(code))) << code;
  }
  // A letter outside ASCII never makes a known extension.
  EXPECT_FALSE(qv::IsCodeFileName(std::wstring(L"x.\u0435xe")));
}

}  // namespace
