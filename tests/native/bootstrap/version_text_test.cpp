// Decimal conversion and version texts: completion of short texts, numeric fields, signs, the
// order's edge cases and the string table's fallbacks.
#include "bootstrap/core/version_text.h"

#include <gtest/gtest.h>

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {
namespace {

// The order's and the completion's properties are checked by the version texts' fuzz target.
TEST(DecimalText, WritesWhatToWstringWrites) {
  const long long samples[] = {0, 7, -7, 10, 65535, 4294967295LL, 2147483647LL, -2147483647LL - 1,
                               9223372036854775807LL, -9223372036854775807LL - 1};
  for (long long value : samples) EXPECT_EQ(DecimalText(value), std::to_wstring(value)) << value;
}

TEST(WideToInt, ReadsLikeTheRuntime) {
  EXPECT_EQ(WideToInt(L"abc"), 0);
  EXPECT_EQ(WideToInt(L" \t\r\n+42x"), 42);
  EXPECT_EQ(WideToInt(L"- 5"), 0);
}

TEST(VersionText, ShortTextsAreCompletedBeforeReading) {
  EXPECT_EQ(CompleteVersionText(L""), L".0.0.0");
  EXPECT_EQ(CompleteVersionText(L"1..2"), L"1..2.0.0");  // counting stops at an empty part
  EXPECT_EQ(CompleteVersionText(L" 1. 2.3"), L"1.2.3.0");
  EXPECT_EQ(ReadVersionFields(L"1.2.3.4.5"), (VersionFields{1, 2, 3, 4}));
  EXPECT_EQ(ReadVersionFields(L"7.-1.x.9"), (VersionFields{7, 4294967295u, 0, 9}));
}

TEST(VersionText, CandidateMustBeStrictlyNewer) {
  EXPECT_TRUE(IsNewerVersion(L"1.2", L"1.2.0.1"));
  EXPECT_FALSE(IsNewerVersion(L"1.2.0.1", L"1.2"));
  EXPECT_TRUE(IsNewerVersion(L"", L"0.0.0.1"));
  EXPECT_TRUE(IsNewerVersion(L"1.65535.0.0", L"1.-1.0.0"));
  EXPECT_EQ(FormatFileVersion(0xFFFF0002, 0x0003FFFF), L"65535.2.3.65535");
}

// German and US English tables, as a resource translated once lists them.
TEST(StringTableChoice, PrefersTheUserLanguageThenItsPrimaryLanguageThenNeutralThenEnglish) {
  const uint32_t german = MakeTranslation(0x0407, kUnicodeCodePage);
  const uint32_t english = MakeTranslation(0x0409, kUnicodeCodePage);
  const uint32_t neutral = MakeTranslation(0x0000, 0x04E4);
  EXPECT_EQ(ChooseStringTable({german, english}, 0x0807), german);   // Swiss German: same primary language
  EXPECT_EQ(ChooseStringTable({german, english}, 0x0411), english);  // no Japanese: English
  EXPECT_EQ(ChooseStringTable({german, neutral, english}, 0x0411), neutral);
  EXPECT_EQ(ChooseStringTable({german}, 0x0411), german);            // nothing fits: the first
  EXPECT_EQ(ChooseStringTable({MakeTranslation(0x0400, kUnicodeCodePage), neutral}, 0x0411), neutral);
}

TEST(StringTableChoice, KeyNamesLanguageThenCodePageInUpperCaseHex) {
  EXPECT_EQ(FormatStringInfoKey(MakeTranslation(0x0409, 0x04B0), L"FileVersion"), L"\\StringFileInfo\\040904B0\\FileVersion");
}

}  // namespace
}  // namespace qv::bootstrap
