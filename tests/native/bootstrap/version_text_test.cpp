// Decimal conversion and version comparison: completion of short texts, numeric fields, spaces,
// signs and the runtime's conversion limits.
#include "bootstrap/core/version_text.h"

#include <gtest/gtest.h>

#include <climits>

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {
namespace {

TEST(DecimalText, WritesWhatToWstringWrites) {
  EXPECT_EQ(DecimalText(0), L"0");
  EXPECT_EQ(DecimalText(7), L"7");
  EXPECT_EQ(DecimalText(-7), L"-7");
  EXPECT_EQ(DecimalText(65535), L"65535");
  EXPECT_EQ(DecimalText(4294967295LL), L"4294967295");
  const long long samples[] = {1, 9, 10, 99, 100, -1, -10, 2147483647LL, -2147483647LL - 1,
                               9223372036854775807LL, -9223372036854775807LL - 1};
  for (long long value : samples) EXPECT_EQ(DecimalText(value), std::to_wstring(value)) << value;
}

TEST(WideToInt, ReadsLikeTheRuntime) {
  EXPECT_EQ(WideToInt(L"abc"), 0);
  EXPECT_EQ(WideToInt(L" \t\r\n+42x"), 42);
  EXPECT_EQ(WideToInt(L"-17"), -17);
  EXPECT_EQ(WideToInt(L"- 5"), 0);
  EXPECT_EQ(WideToInt(L"99999999999999999999999"), INT_MAX);
  EXPECT_EQ(WideToInt(L"-2147483648"), INT_MIN);
  EXPECT_EQ(WideToInt(L"-99999999999999999999999"), INT_MIN);
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
  EXPECT_FALSE(IsNewerVersion(L"1.2.3.4", L"1.2.3.4"));
  EXPECT_TRUE(IsNewerVersion(L"1.9.0.0", L"1.10.0.0"));
  EXPECT_FALSE(IsNewerVersion(L"2.0.0.0", L"1.99.99.99"));
  EXPECT_TRUE(IsNewerVersion(L"", L"0.0.0.1"));
  EXPECT_FALSE(IsNewerVersion(L"", L""));
  EXPECT_TRUE(IsNewerVersion(L"1. 2.3.4", L"1.2.3.5"));
  EXPECT_TRUE(IsNewerVersion(L"1.65535.0.0", L"1.-1.0.0"));
  EXPECT_EQ(FormatFileVersion(0xFFFF0002, 0x0003FFFF), L"65535.2.3.65535");
}

// German and US English tables, as a resource translated once lists them.
TEST(StringTableChoice, PrefersTheUserLanguageThenItsPrimaryLanguageThenNeutralThenEnglish) {
  const uint32_t german = MakeTranslation(0x0407, kUnicodeCodePage);
  const uint32_t english = MakeTranslation(0x0409, kUnicodeCodePage);
  const uint32_t neutral = MakeTranslation(0x0000, 0x04E4);
  EXPECT_EQ(ChooseStringTable({german, english}, 0x0409), english);
  EXPECT_EQ(ChooseStringTable({german, english}, 0x0807), german);   // Swiss German: same primary language
  EXPECT_EQ(ChooseStringTable({german, english}, 0x0411), english);  // no Japanese: English
  EXPECT_EQ(ChooseStringTable({german, neutral, english}, 0x0411), neutral);
  EXPECT_EQ(ChooseStringTable({german}, 0x0411), german);            // nothing fits: the first
  EXPECT_EQ(ChooseStringTable({}, 0x0411), english);                 // no table at all
  // An exact match wins over an earlier table of the same primary language.
  EXPECT_EQ(ChooseStringTable({MakeTranslation(0x0807, kUnicodeCodePage), german}, 0x0407), german);
  EXPECT_EQ(ChooseStringTable({MakeTranslation(0x0400, kUnicodeCodePage), neutral}, 0x0411), neutral);
}

TEST(StringTableChoice, KeyNamesLanguageThenCodePageInUpperCaseHex) {
  EXPECT_EQ(FormatStringInfoKey(MakeTranslation(0x0409, 0x04B0), L"FileVersion"), L"\\StringFileInfo\\040904B0\\FileVersion");
  EXPECT_EQ(FormatStringInfoKey(MakeTranslation(0xABCD, 0x00EF), L"X"), L"\\StringFileInfo\\ABCD00EF\\X");
}

}  // namespace
}  // namespace qv::bootstrap
