// The maker's signature setting as read from the phone's configuration, and which findings of the
// system's signature check let a file be used.
#include "common/core/signature_policy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

const std::string kRootA(64, 'a');
const std::string kRootB = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
constexpr uint32_t kBadDigest = 0x80096010;    // TRUST_E_BAD_DIGEST

// The setting's rule itself is checked by the signature policy's fuzz target.
TEST(SignaturePolicy, SettingIsReadWithBlanksDroppedAndFingerprintsInEitherCase) {
  const SignaturePolicy set = ParseSignaturePolicy(
      L"  Demo Maker Ltd ", L" AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA , " +
                                std::wstring(kRootB.begin(), kRootB.end()), true);
  EXPECT_EQ(set.publisher, L"Demo Maker Ltd");
  EXPECT_EQ(set.roots, (std::vector<std::string>{kRootA, kRootB}));
  EXPECT_FALSE(set.refuseAll);
}

TEST(SignaturePolicy, ASectionThatCannotBeAppliedRefusesEveryFileWithOneLineSayingWhy) {
  const std::wstring root(64, L'a');
  const struct {
    std::wstring publisher, roots;
    std::string problem;
  } cases[] = {
      {L"", L"", "publisher is missing"},        // an empty section
      {L"", root, "publisher is missing"},       // roots pinned, no publisher
      {L"   ", L"", "publisher is empty"},       // only blanks
      {L"Demo Maker Ltd", L"abc", "root_sha256 entry is not 64 hex digits: \"abc\""},
  };
  for (const auto& c : cases) {
    const SignaturePolicy policy = ParseSignaturePolicy(c.publisher, c.roots, true);
    EXPECT_EQ(policy.problems, std::vector<std::string>{c.problem});
    // Even a perfect signature of the right name under the right root is refused.
    EXPECT_EQ(JudgeSignature(policy, {0, L"Demo Maker Ltd", kRootA}), SignatureVerdict::kBadSetting) << c.problem;
    EXPECT_EQ(DescribeSignaturePolicy(policy),
              std::vector<std::wstring>{L"[SIGNATURE] The setting cannot be applied (" +
                                        std::wstring(c.problem.begin(), c.problem.end()) +
                                        L"): every file is refused"});
  }
  EXPECT_EQ(DescribeSignaturePolicy(ParseSignaturePolicy(L"", L"", false)),
            std::vector<std::wstring>{L"[SIGNATURE] The phone names no publisher: packages are not verified"});
  EXPECT_EQ(DescribeSignaturePolicy(ParseSignaturePolicy(L"Demo Maker Ltd", root, true)),
            std::vector<std::wstring>{L"[SIGNATURE] Packages must be signed by [Demo Maker Ltd], 1 pinned root(s)"});
}

TEST(SignaturePolicy, OnlyAValidSignatureOfThePublisherUnderAPinnedRootIsAccepted) {
  const std::wstring rootList(kRootA.begin(), kRootA.end());
  const SignaturePolicy pinned = ParseSignaturePolicy(L"Demo Maker Ltd", rootList, true);
  const SignaturePolicy anyRoot = ParseSignaturePolicy(L"Demo Maker Ltd", L"", true);
  const struct {
    SignatureFindings found;
    SignatureVerdict pinnedVerdict, anyRootVerdict;
  } cases[] = {
      {{0, L"Demo Maker Ltd", kRootA}, SignatureVerdict::kAccepted, SignatureVerdict::kAccepted},
      {{kBadDigest, L"Demo Maker Ltd", kRootA}, SignatureVerdict::kNotValid, SignatureVerdict::kNotValid},
      // The same name under another authority: only the pinned root tells them apart.
      {{0, L"Demo Maker Ltd", kRootB}, SignatureVerdict::kOtherRoot, SignatureVerdict::kAccepted},
      {{0, L"demo maker ltd", kRootA}, SignatureVerdict::kOtherPublisher, SignatureVerdict::kOtherPublisher},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeSignature(pinned, c.found), c.pinnedVerdict) << std::hex << c.found.trustResult;
    EXPECT_EQ(JudgeSignature(anyRoot, c.found), c.anyRootVerdict) << std::hex << c.found.trustResult;
  }
  EXPECT_TRUE(IsSignatureAccepted(SignatureVerdict::kNotRequired));
}

}  // namespace
}  // namespace qv
