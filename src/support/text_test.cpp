#include "support/text.h"

#include <gtest/gtest.h>

#include "support/messages.h"
#include "support/paths.h"

namespace koru {
namespace {

TEST(SplitAtSeparator, KeepsEmptyPiecesButNoneAfterATrailingSeparator) {
  struct Case {
    TextView text;
    TextList pieces;
  };
  const Case cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"1.6;;1.7;", {u"1.6", u"", u"1.7"}},
      {u";a", {u"", u"a"}},
      {u";", {u""}},
      {u"a;b", {u"a", u"b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(splitAtSeparator(c.text, u";"), c.pieces);
  }
}

TEST(FormatText, FillsTextAndNumberDirectives) {
  EXPECT_EQ(formatText(u"Windows exception: %s (errno = %d).\n", {u"x", int32_t{-5}}),
            u"Windows exception: x (errno = -5).\n");
  EXPECT_EQ(formatText(u"%d%%", {int32_t{2147483647}}), u"2147483647%");
  EXPECT_EQ(formatText(u"a %s b", {}), u"a %s b");
}

TEST(DecimalText, WritesTheWholeRangeOfBothKinds) {
  EXPECT_EQ(decimalText(int64_t{-9223372036854775807 - 1}), u"-9223372036854775808");
  EXPECT_EQ(decimalText(uint64_t{18446744073709551615u}), u"18446744073709551615");
  EXPECT_EQ(decimalText(uint64_t{0}), u"0");
}

TEST(Utf8, RoundTripsTextOutsideTheBasicPlane) {
  Text text = u"a\u00e9\u20ac\U0001F600";
  EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  EXPECT_EQ(toUtf8(text), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
}

TEST(EqualsIgnoreCase, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(equalsIgnoreCase(u"YES", u"yes"));
  EXPECT_FALSE(equalsIgnoreCase(u"\u00c9", u"\u00e9"));
  EXPECT_FALSE(equalsIgnoreCase(u"yes ", u"yes"));
}

TEST(Messages, KeepTheirTextsWordForWord) {
  EXPECT_EQ(loadMessage(210), u"Main class was not specified in INI file.");
  EXPECT_NE(loadMessage(206).find(u"Please  download and install a JRE with a server JVM (%s)"),
            Text::npos);
  EXPECT_NE(loadMessage(207).find(u"Please  download and install a JRE (%s) from:"), Text::npos);
  EXPECT_EQ(loadMessage(201), u"");
  EXPECT_EQ(loadMessage(231), u"");
  EXPECT_EQ(formatMessage(203, {loadMessage(213), loadMessage(228)}),
            u"JNI exception: failed to create the Java VM\nReason: not enough memory.\n");
}

TEST(ReportError, WritesOneLineWithATrailingBlank) {
  testing::internal::CaptureStdout();
  reportError(loadMessage(210));
  reportError(loadMessage(216));
  reportError(u"");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Main class was not specified in INI file. \n"
            "Error: No main method found in specified class.\n \n"
            "Error:  \n");
}

TEST(PathComponents, SplitRootFoldersAndFileName) {
  struct Case {
    TextView path;
    TextList components;
  };
  const Case cases[] = {
      {u"C:\\logs\\app\\out.log", {u"C:", u"logs", u"app", u"out.log"}},
      {u"\\\\?\\C:\\logs\\out.log", {u"\\\\?\\C:", u"logs", u"out.log"}},
      {u"\\\\server\\share\\logs\\out.log", {u"\\\\server", u"share", u"logs", u"out.log"}},
      {u"logs\\out.log", {u"logs", u"out.log"}},
      {u"\\logs\\sub\\out.log", {u"logs", u"sub", u"out.log"}},
      {u"out.log", {u"out.log"}},
      {u"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.path));
    EXPECT_EQ(splitPathComponents(c.path), c.components);
  }
}

TEST(StripPathComponents, CutsAsFarAsBackslashesAllow) {
  EXPECT_EQ(stripPathComponents(u"C:\\J\\bin\\server\\jvm.dll", 3), u"C:\\J");
  EXPECT_EQ(stripPathComponents(u"C:\\J\\bin\\server\\jvm.dll", 2), u"C:\\J\\bin");
  EXPECT_EQ(stripPathComponents(u"bin\\jvm.dll", 3), u"bin");
  EXPECT_EQ(stripPathComponents(u"", 3), u"");
}

}  // namespace
}  // namespace koru
