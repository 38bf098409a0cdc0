// Runs under Wine: the system's signature check of programs signed at build time by throwaway
// authorities (tools/signing/make_test_signatures.py; QV_SIGNATURES names their folder), and the
// decision on what it found under the maker's setting.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "common/core/signature_policy.h"
#include "common/win/held_file.h"
#include "common/win/signature_check.h"
#include "tests/win/test_files.h"

namespace qv {
namespace {

std::wstring SignatureFolder() {
  const char* dir = std::getenv("QV_SIGNATURES");
  std::wstring path = L"Z:";
  for (const char* c = dir ? dir : "/nonexistent"; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return path + L"\\";
}

// "maker" and "other": the SHA-256 of each root, as the maker would pin it.
std::map<std::string, std::string> Fingerprints() {
  std::map<std::string, std::string> found;
  const char* dir = std::getenv("QV_SIGNATURES");
  std::ifstream file(std::string(dir ? dir : "/nonexistent") + "/fingerprints.txt");
  for (std::string line; std::getline(file, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) found[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return found;
}

SignatureFindings Inspect(const wchar_t* name) {
  const std::wstring path = SignatureFolder() + name;
  CHeldFile held = CHeldFile::Open(path);
  EXPECT_TRUE(held.IsHeld()) << held.Error();
  return InspectSignature(held.Handle(), path);
}

TEST(SignatureCheck, OnlyTheMakersUnchangedProgramUnderThePinnedRootPasses) {
  const auto roots = Fingerprints();
  ASSERT_EQ(roots.size(), 2u) << "no fingerprints in QV_SIGNATURES";
  const std::string maker = roots.at("maker");
  const std::wstring makerRoot(maker.begin(), maker.end());
  const SignaturePolicy pinned = ParseSignaturePolicy(L"Demo Maker Ltd", makerRoot, true);
  const SignaturePolicy anyRoot = ParseSignaturePolicy(L"Demo Maker Ltd", L"", true);

  const SignatureFindings signedByMaker = Inspect(L"signed.exe");
  EXPECT_EQ(signedByMaker.trustResult, 0u) << TrustResultText(signedByMaker.trustResult).c_str();
  EXPECT_EQ(signedByMaker.signer, L"Demo Maker Ltd");
  EXPECT_EQ(signedByMaker.rootSha256, maker);
  EXPECT_EQ(JudgeSignature(pinned, signedByMaker), SignatureVerdict::kAccepted);

  const SignatureFindings unsignedProgram = Inspect(L"unsigned.exe");
  EXPECT_EQ(unsignedProgram.trustResult, 0x800B0100u) << TrustResultText(unsignedProgram.trustResult).c_str();
  EXPECT_EQ(JudgeSignature(anyRoot, unsignedProgram), SignatureVerdict::kNotValid);

  const SignatureFindings tampered = Inspect(L"tampered.exe");
  EXPECT_EQ(tampered.trustResult, 0x80096010u) << TrustResultText(tampered.trustResult).c_str();
  EXPECT_EQ(JudgeSignature(anyRoot, tampered), SignatureVerdict::kNotValid);

  // The right name under a stranger's authority: Wine does not ask the root to be trusted, so
  // only the pinned fingerprint refuses it.
  const SignatureFindings stranger = Inspect(L"other-root.exe");
  EXPECT_EQ(stranger.signer, L"Demo Maker Ltd");
  EXPECT_EQ(stranger.rootSha256, roots.at("other"));
  EXPECT_EQ(JudgeSignature(pinned, stranger), SignatureVerdict::kOtherRoot);

  const SignatureFindings otherName = Inspect(L"other-name.exe");
  EXPECT_EQ(otherName.signer, L"Demo Maker Ltd Other");
  EXPECT_EQ(JudgeSignature(pinned, otherName), SignatureVerdict::kOtherPublisher);
}

// The setting as the system's profile reader gives it: no section requires nothing, a section that
// is there without a usable publisher (even an empty one, in any letter case) refuses everything.
TEST(SignatureCheck, TheSettingIsReadFromTheFileAndASectionWithoutAPublisherRefuses) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring ini = std::wstring(temp) + L"qv_signature_setting.ini";
  auto readWith = [&ini](const char* text) {
    test::WriteAll(ini, text);
    return ReadSignatureSetting(ini);
  };
  const SignaturePolicy none = readWith("[PXPC]\r\npxpc_name=PXPC.exe\r\n;[SIGNATURE]\r\n;publisher=Demo Maker Ltd\r\n");
  EXPECT_FALSE(none.IsRequired());
  const SignaturePolicy named = readWith("[signature]\r\npublisher = Demo Maker Ltd \r\n");
  EXPECT_TRUE(named.IsRequired());
  EXPECT_FALSE(named.refuseAll);
  EXPECT_EQ(named.publisher, L"Demo Maker Ltd");
  for (const char* text : {"[PXPC]\r\n[SIGNATURE]\r\n[DRIVER]\r\npreload=x.msi\r\n", "[Signature]\r\npublisher=   \r\n"}) {
    const SignaturePolicy refusing = readWith(text);
    EXPECT_TRUE(refusing.IsRequired()) << text;
    EXPECT_TRUE(refusing.refuseAll) << text;
  }
  ::DeleteFileW(ini.c_str());
  EXPECT_FALSE(ReadSignatureSetting(ini).IsRequired());  // no file at all
}

}  // namespace
}  // namespace qv
