// Which files must bear the maker's signature: code told by its first bytes whatever its name, and
// names that Windows runs or loads whatever they hold, narrow and wide alike.
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
  EXPECT_EQ(KindOf(std::string("MZ\x90\0\3\0\0\0", 8)), CodeKind::Program);
  EXPECT_EQ(KindOf("MZ"), CodeKind::Program);  // the two bytes the loader looks at are enough
  EXPECT_EQ(KindOf(kCompound), CodeKind::CompoundDocument);
  EXPECT_EQ(KindOf(kCompound + "rest"), CodeKind::CompoundDocument);
  EXPECT_EQ(KindOf(std::string("MSCF\0\0\0\0", 8)), CodeKind::Cabinet);
  for (const std::string& other : {std::string("mz\x90\0", 4), std::string("ZM"), std::string("MSCf"),
                                   std::string("PK\3\4...."), std::string("just text"), std::string()}) {
    EXPECT_EQ(KindOf(other), CodeKind::None) << other;
  }
  // The head is read only as far as it goes: a magic cut short is no code.
  EXPECT_EQ(KindOf("M"), CodeKind::None);
  EXPECT_EQ(KindOf("MSC"), CodeKind::None);
  EXPECT_EQ(KindOf(kCompound.substr(0, 7)), CodeKind::None);
  EXPECT_EQ(qv::CodeKindOfContent(nullptr, 0), CodeKind::None);
  // The whole compound signature counts, not its first bytes alone.
  EXPECT_EQ(KindOf(kCompound.substr(0, 7) + "X"), CodeKind::None);
  EXPECT_GE(qv::kCodeHeadBytes, kCompound.size());
}

TEST(CodeContent, NamesAreToldByTheLastExtensionAsTheFileSystemReadsIt) {
  for (const char* code : {"CBWNotiAgent.exe", "data\\x.DLL", "a.b.ocx", "setup.msi", "patch.MSP", "x.mst", "x.cab",
                           "x.exe.", "x.exe . ", "x.dll   ", "s.Scr", "c.com", "d.sys", "a/b.cpl", "x.ax", "x.tlb",
                           "run.bat", "Setup.CMD"}) {
    EXPECT_TRUE(qv::IsCodeFileName(std::string(code))) << code;
  }
  for (const char* other : {"data\\readme.txt", "x.exe.txt", "exe", "data.exe\\readme", "data.exe/readme", "", "...",
                            " . ", "helper.bin", "x.exex", "x.ex"}) {
    EXPECT_FALSE(qv::IsCodeFileName(std::string(other))) << other;
  }
}

TEST(CodeContent, AStreamNameMayHoldAnythingAndCountsAsCode) {
  EXPECT_TRUE(qv::IsCodeFileName(std::string("x.txt::$DATA")));
  EXPECT_TRUE(qv::IsCodeFileName(std::string("data\\readme.txt:hidden")));
  // A drive's colon comes before the last folder: the file's own name decides.
  EXPECT_FALSE(qv::IsCodeFileName(std::string("C:\\data\\readme.txt")));
  EXPECT_TRUE(qv::IsCodeFileName(std::string("C:\\data\\readme.txt:x")));
}

TEST(CodeContent, WideNamesFollowTheSameRule) {
  EXPECT_TRUE(qv::IsCodeFileName(std::wstring(L"C:\\x\\Setup.EXE. ")));
  EXPECT_FALSE(qv::IsCodeFileName(std::wstring(L"C:\\x\\readme.txt")));
  // A letter outside ASCII never makes a known extension.
  EXPECT_FALSE(qv::IsCodeFileName(std::wstring(L"x.\u0435xe")));
}

TEST(CodeContent, AFileIsCodeByItsContentOrByItsName) {
  EXPECT_TRUE(IsCode("helper.bin", "MZ\x90"));  // a library under a harmless name
  EXPECT_TRUE(IsCode("data\\readme.txt", kCompound));
  EXPECT_TRUE(IsCode("notes", "MSCF"));
  EXPECT_TRUE(IsCode("x.dll", "not an image"));  // loaded by its name whatever it holds
  EXPECT_TRUE(IsCode("x.dll", ""));
  EXPECT_FALSE(IsCode("data\\readme.txt", "Read me"));
  EXPECT_FALSE(IsCode("helper.bin", ""));
}

}  // namespace
