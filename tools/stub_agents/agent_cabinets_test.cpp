// The agent cabinets as Wine's setup library reads them: each entry's stored name (a sub-folder
// file with its folder, the hostile names exactly as written), sizes that match the built files,
// and an extraction whose programs are the built ones byte for byte. Lives in the agents folder,
// with the cabinets in its cab/ folder.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/win/test_files.h"
#include "tools/stub_agents/agent_test_support.h"

#ifndef QV_CAB_README_BYTES
#error "QV_CAB_README_BYTES (size of the data file packed in the cabinets) must be defined"
#endif

namespace {

using qv::test::Narrow;
using qv::test::OwnFolder;
using qv::test::ReadAll;
using qv::test::ScratchPath;

using Entries = std::vector<std::pair<std::string, DWORD>>;  // stored name, size

constexpr DWORD kSmallestDownload = 30000;  // the client library refuses anything smaller

std::string AgentFolder() {
  return Narrow(OwnFolder());  // the build folder's path is ASCII
}

std::string CabinetPath(const char* name) {
  return AgentFolder() + "cab\\" + name;
}

DWORD SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

struct Extraction {
  std::string target;  // empty: list only
  Entries entries;
};

// Lists every entry; with a target folder, also extracts it there, making its sub-folders first.
UINT CALLBACK OnCabinetFile(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
  auto* extraction = static_cast<Extraction*>(context);
  if (notification == SPFILENOTIFY_FILEEXTRACTED) return NO_ERROR;
  if (notification != SPFILENOTIFY_FILEINCABINET) return ERROR_NOT_SUPPORTED;
  auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_A*>(param1);
  extraction->entries.emplace_back(info->NameInCabinet, info->FileSize);
  if (extraction->target.empty()) return FILEOP_SKIP;
  const std::string path = extraction->target + info->NameInCabinet;
  for (size_t slash = path.find('\\', extraction->target.size()); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  }
  std::snprintf(info->FullTargetName, sizeof info->FullTargetName, "%s", path.c_str());
  return FILEOP_DOIT;
}

Entries List(const char* cabinet) {
  Extraction extraction;
  EXPECT_TRUE(SetupIterateCabinetA(CabinetPath(cabinet).c_str(), 0, OnCabinetFile, &extraction)) << GetLastError();
  return extraction.entries;
}

DWORD Built(const char* name) {
  return SizeOf(AgentFolder() + name);
}

TEST(AgentCabinets, AreLargeEnoughForTheClientToTakeThem) {
  for (const char* cabinet : {"QOREUTProg.CAB", "NotiAgent_QOR_UA.cab", "unsafe.cab"}) {
    EXPECT_GE(SizeOf(CabinetPath(cabinet)), kSmallestDownload) << cabinet;
  }
}

TEST(AgentCabinets, HoldTheProgramsAndAFileInASubFolder) {
  const DWORD readme = QV_CAB_README_BYTES;
  EXPECT_EQ(List("QOREUTProg.CAB"), (Entries{{"CBWNotiAgent.exe", Built("CBWNotiAgent.exe")},
                                            {"QORClient_CBW.exe", Built("QORClient_CBW.exe")},
                                            {"QORLauncher.exe", Built("QORLauncher.exe")},
                                            {"data\\readme.txt", readme}}));
  EXPECT_EQ(List("NotiAgent_QOR_UA.cab"),
            (Entries{{"CBWUAAgent.exe", Built("CBWUAAgent.exe")}, {"data\\readme.txt", readme}}));
}

TEST(AgentCabinets, TheUnsafeOneReportsItsNamesUnchanged) {
  const Entries entries = List("unsafe.cab");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].first, "..\\escape.txt");
  EXPECT_EQ(entries[1].first, "sub\\..\\..\\escape2.txt");
  EXPECT_EQ(entries[2].first, "C:\\escape3.txt");
  EXPECT_EQ(entries[3].first, "\\escape4.txt");
  EXPECT_EQ(entries[4], (std::pair<std::string, DWORD>("CBWNotiAgent.exe", Built("CBWNotiAgent.exe"))));
}

TEST(AgentCabinets, ExtractToTheBuiltFiles) {
  const std::wstring target = ScratchPath(L"agent cabinet") + L"\\";
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  Extraction extraction;
  extraction.target = Narrow(target);  // the temp folder's path is ASCII
  ASSERT_TRUE(SetupIterateCabinetA(CabinetPath("QOREUTProg.CAB").c_str(), 0, OnCabinetFile, &extraction))
      << GetLastError();
  const wchar_t* const programs[] = {L"CBWNotiAgent.exe", L"QORClient_CBW.exe", L"QORLauncher.exe"};
  for (const wchar_t* name : programs) {
    const std::string built = ReadAll(OwnFolder() + name);
    ASSERT_GT(built.size(), 0u);
    EXPECT_TRUE(ReadAll(target + name) == built) << Narrow(name);
  }
  EXPECT_EQ(ReadAll(target + L"data\\readme.txt").size(), static_cast<size_t>(QV_CAB_README_BYTES));
  for (const wchar_t* name : programs) DeleteFileW((target + name).c_str());
  DeleteFileW((target + L"data\\readme.txt").c_str());
  RemoveDirectoryW((target + L"data").c_str());
  RemoveDirectoryW(target.c_str());
}

}  // namespace
