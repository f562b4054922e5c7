// The key label table, checked through its properties: every fallback code,
// the runs, the exact CP932 bytes, lengths and untouched buffer tails.
#include "key_labels.h"

#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

namespace {

std::string Label(int code) {
  char buffer[256];
  return GetKeyLabel(code, buffer);
}

const std::string kFallback = "\x92\x6D\x82\xE7\x82\xF1";  // 知らん

TEST(KeyLabels, FallbackCodesAreExactlyTheUnnamedOnes) {
  std::set<int> fallback;
  auto addRange = [&](int first, int last) {
    for (int code = first; code <= last; ++code) fallback.insert(code);
  };
  addRange(0x00, 0x00), addRange(0x05, 0x07), addRange(0x0A, 0x0B);
  addRange(0x0E, 0x0F), addRange(0x1A, 0x1A), addRange(0x3A, 0x40);
  addRange(0x5E, 0x5F), addRange(0x88, 0x8F), addRange(0x92, 0xB9);
  addRange(0xC1, 0xDA), addRange(0xE5, 0xE5), addRange(0xE7, 0xE8);
  addRange(0xFF, 0xFF);
  for (int code = 0; code <= 255; ++code) {
    bool isFallback = Label(code) == kFallback;
    EXPECT_EQ(isFallback, fallback.count(code) == 1) << "code " << code;
  }
}

TEST(KeyLabels, CodesOutsideTheByteRangeFallBack) {
  for (int code : {256, 1000, 0x7FFFFFFF, -1, -255, INT32_MIN})
    EXPECT_EQ(Label(code), kFallback) << "code " << code;
}

TEST(KeyLabels, DigitsAndLettersNameThemselves) {
  for (int code = '0'; code <= '9'; ++code)
    EXPECT_EQ(Label(code), std::string(1, static_cast<char>(code)));
  for (int code = 'A'; code <= 'Z'; ++code)
    EXPECT_EQ(Label(code), std::string(1, static_cast<char>(code)));
}

TEST(KeyLabels, NumberedRuns) {
  for (int n = 0; n <= 9; ++n)
    EXPECT_EQ(Label(0x60 + n), "NP" + std::to_string(n));
  for (int n = 1; n <= 24; ++n)
    EXPECT_EQ(Label(0x6F + n), "F" + std::to_string(n));
  EXPECT_EQ(Label(0x61), "NP1");  // keypad 1, never "a"
}

TEST(KeyLabels, DoubleByteLabelsAreCp932) {
  struct Case {
    int code;
    const char *bytes;
  } cases[] = {
      {0x25, "\x81\xA9"},
      {0x26, "\x81\xAA"},
      {0x27, "\x81\xA8"},
      {0x28, "\x81\xAB"},
      {0x15,
       "\x8A\xBF\x8E\x9A"
       "1"},
      {0x19,
       "\x8A\xBF\x8E\x9A"
       "5"},
      {0x1C,
       "\x8A\xBF\x8E\x9A"
       "6"},
      {0x1F,
       "\x8A\xBF\x8E\x9A"
       "9"},
  };
  for (const Case &c : cases) EXPECT_EQ(Label(c.code), c.bytes) << c.code;
  for (int code = 0x15; code <= 0x1F; ++code) {
    if (code == 0x1A || code == 0x1B) continue;
    EXPECT_EQ(Label(code).size(), 5u) << code;
  }
}

TEST(KeyLabels, SurprisingRowsHoldAsDocumented) {
  EXPECT_EQ(Label(42), "OEM");  // the Print key
  EXPECT_EQ(Label(41), "SELECT");
  EXPECT_EQ(Label(43), "EXE");
  EXPECT_EQ(Label(44), "PrScr");
  EXPECT_EQ(Label(12), "CLEAR");
  EXPECT_EQ(Label(254), "CLEAR");
  EXPECT_EQ(Label(252), "res.");
  EXPECT_EQ(Label(32), "SPACE");
  EXPECT_EQ(Label(1), "L-B");
  EXPECT_EQ(Label(4), "M-B");
  EXPECT_EQ(Label(27), "ESC");
  EXPECT_EQ(Label(0x6A), "Multiply");
  EXPECT_EQ(Label(0x5D), "APPS");
  EXPECT_EQ(Label(0x91), "ScrL");
  for (int code : {0xBA, 0xC0, 0xDB, 0xE4, 0xE6, 0xE9, 0xF5})
    EXPECT_EQ(Label(code), "OEM") << code;
  for (int code : {229, 231, 232}) EXPECT_EQ(Label(code), kFallback) << code;
}

TEST(KeyLabels, EveryLabelFitsNineBytes) {
  size_t longest = 0;
  for (int code = -2; code <= 300; ++code) {
    std::string label = Label(code);
    EXPECT_FALSE(label.empty()) << code;
    longest = std::max(longest, label.size());
  }
  EXPECT_EQ(longest, 8u);
  EXPECT_EQ(KEY_LABEL_MIN_BUFFER, 9);
}

TEST(KeyLabels, WritesOnlyTheLabelAndItsTerminator) {
  for (int code = -1; code <= 256; ++code) {
    char buffer[32];
    memset(buffer, 0x5A, sizeof buffer);
    char *result = GetKeyLabel(code, buffer);
    ASSERT_EQ(result, buffer);
    size_t length = strlen(buffer);
    for (size_t i = length + 1; i < sizeof buffer; ++i)
      ASSERT_EQ(buffer[i], 0x5A) << "code " << code << " byte " << i;
  }
  // A longer text before keeps its tail after the new terminator.
  char buffer[16] = "Multiply";
  GetKeyLabel(0x20, buffer);  // "SPACE"
  EXPECT_STREQ(buffer, "SPACE");
  EXPECT_STREQ(buffer + 6, "ly");
}

TEST(KeyLabels, FitsTheDocumentedMinimumBuffer) {
  char buffer[KEY_LABEL_MIN_BUFFER + 1];
  buffer[KEY_LABEL_MIN_BUFFER] = 0x77;
  GetKeyLabel(0x6A, buffer);
  EXPECT_STREQ(buffer, "Multiply");
  EXPECT_EQ(buffer[KEY_LABEL_MIN_BUFFER], 0x77);
}

}  // namespace
