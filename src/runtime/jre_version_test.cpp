#include "runtime/jre_version.h"

#include <gtest/gtest.h>

namespace koru {

// Lets failed expectations show versions as 1.6.0.22.
void PrintTo(const JreVersion& v, std::ostream* os);
void PrintTo(const JreVersion& v, std::ostream* os) {
  *os << v.parts[0] << '.' << v.parts[1] << '.' << v.parts[2] << '.' << v.parts[3];
}

namespace {

JreVersion version(int32_t a, int32_t b, int32_t c, int32_t d) { return JreVersion{{a, b, c, d}}; }

JreVersion parsed(TextView text, int32_t fill = 0) {
  JreVersion result;
  parseVersion(text, fill, result);
  return result;
}

constexpr int32_t kOpen = kVersionOpenPart;

TEST(ParseVersion, ReadsLenientTexts) {
  struct Case {
    TextView text;
    int32_t fill;
    bool ok;
    JreVersion expected;
  };
  const Case cases[] = {
      {u"1.6", 0, true, version(1, 6, 0, 0)},
      {u"1.6", kOpen, true, version(1, 6, kOpen, kOpen)},
      {u"10", 0, true, version(10, 0, 0, 0)},
      {u"jre1.5.0_06", 0, true, version(1, 5, 0, 6)},
      {u"1.6.0_22", 0, true, version(1, 6, 0, 22)},
      {u"1.7.0-b147", 0, true, version(1, 7, 0, 147)},
      {u"1.8.0_181-b13", 0, true, version(1, 8, 0, 181)},
      {u"007", kOpen, true, version(7, kOpen, kOpen, kOpen)},
      {u"-1..-2", 0, true, version(1, 2, 0, 0)},
      {u"Java(TM) 1 ... 2", 0, true, version(1, 2, 0, 0)},
      // Only ASCII digits count; an Arabic-Indic six is a separator.
      {u"1.\u0666", 9, true, version(1, 9, 9, 9)},
      // Nothing to read: all parts 0 and no fill.
      {u"", kOpen, false, version(0, 0, 0, 0)},
      {u"any", kOpen, false, version(0, 0, 0, 0)},
      {u". _-", 3, false, version(0, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    JreVersion result = version(5, 5, 5, 5);
    EXPECT_EQ(parseVersion(c.text, c.fill, result), c.ok);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(ParseVersion, RefusesPartsBeyondSignedThirtyTwoBits) {
  struct Case {
    TextView text;
    bool ok;
    JreVersion expected;
  };
  const Case cases[] = {
      {u"2147483647", true, version(2147483647, kOpen, kOpen, kOpen)},
      {u"1.2147483647.0.2147483647", true, version(1, 2147483647, 0, 2147483647)},
      {u"00000000000000000012", true, version(12, kOpen, kOpen, kOpen)},
      // Ten digits just above the largest part would wrap: refused like any larger part.
      {u"2147483648", false, version(0, 0, 0, 0)},
      {u"1.6.0_2147483649", false, version(0, 0, 0, 0)},
      {u"2147483650", false, version(0, 0, 0, 0)},
      {u"1.9999999999", false, version(0, 0, 0, 0)},
      {u"99999999999999999999.1", false, version(0, 0, 0, 0)},
      // Digits after the fourth part are not read at all.
      {u"1.2.3.4.99999999999", true, version(1, 2, 3, 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    JreVersion result;
    EXPECT_EQ(parseVersion(c.text, kOpen, result), c.ok);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(CompareVersions, OrdersPartsFromMajorDown) {
  struct Case {
    TextView a;
    TextView b;
    int sign;
  };
  const Case cases[] = {
      {u"1.6.0.22", u"1.6.0.3", 1}, {u"1.6.0.22", u"1.7", -1},  {u"1.6", u"1.6.0.0", 0},
      {u"10", u"9.99.99.99", 1},    {u"1.6.1", u"1.6.0.99", 1}, {u"2147483647", u"65535", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.a) + " vs " + toUtf8(c.b));
    int forward = compareVersions(parsed(c.a), parsed(c.b));
    int backward = compareVersions(parsed(c.b), parsed(c.a));
    EXPECT_EQ((forward > 0) - (forward < 0), c.sign);
    EXPECT_EQ((backward > 0) - (backward < 0), -c.sign);
    EXPECT_EQ(parsed(c.a) == parsed(c.b), c.sign == 0);
    EXPECT_EQ(parsed(c.a) != parsed(c.b), c.sign != 0);
  }
  // Parts compare as signed numbers.
  EXPECT_LT(compareVersions(version(-1, 0, 0, 0), version(0, 0, 0, 0)), 0);
}

TEST(MatchesPreferred, TrailingZerosAreWildcards) {
  struct Case {
    TextView candidate;
    TextView preferred;
    bool matches;
  };
  const Case cases[] = {
      {u"1.6.0.22", u"1.6", true},
      {u"1.6.10.1", u"1.6", true},
      {u"1.6.0.22", u"1.6.0", true},
      {u"1.6.10.1", u"1.6.0.0", true},
      {u"1.6.0.22", u"1.6.0.22", true},
      {u"1.6.0.23", u"1.6.0.22", false},
      {u"1.6.0.0", u"1.6.0.22", false},
      {u"1.7.0.0", u"1.6", false},
      {u"1.0.0.5", u"1.0.0.5", true},
      {u"1.1.0.5", u"1.0.0.5", false},
      {u"1.0.1.5", u"1.0.0.5", false},
      {u"17.0.2", u"0", true},
      {u"1.5", u"", true},
      {u"1.5", u"default", true},
      {u"0.0.0.0", u"1.6", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.candidate) + " preferred " + toUtf8(c.preferred));
    EXPECT_EQ(matchesPreferred(parsed(c.candidate), parsed(c.preferred)), c.matches);
  }
}

TEST(IsUnbounded, OnlyAllZerosOrAllOpen) {
  EXPECT_TRUE(isUnbounded(JreVersion::all(0)));
  EXPECT_TRUE(isUnbounded(JreVersion::all(kOpen)));
  EXPECT_FALSE(isUnbounded(version(0, kOpen, kOpen, kOpen)));
  EXPECT_FALSE(isUnbounded(version(0, 0, 0, 1)));
  EXPECT_FALSE(isUnbounded(version(1, 6, kOpen, kOpen)));
}

TEST(FormatVersion, DropsTrailingZeroAndOpenParts) {
  struct Case {
    JreVersion v;
    TextView text;
  };
  const Case cases[] = {
      {version(1, 6, 0, 0), u"1.6"},
      {version(1, 0, 0, 0), u"1.0"},
      {version(10, 0, 0, 0), u"10.0"},
      {version(1, 6, 0, 22), u"1.6.0.22"},
      {version(1, 6, kOpen, kOpen), u"1.6"},
      {version(1, 6, 2, kOpen), u"1.6.2"},
      {version(0, 0, 0, 7), u"0.0.0.7"},
      {version(1, kOpen, 0, 3), u"1.65535.0.3"},
      {version(0, 0, 0, 0), u"0.0.0.0"},
      {version(kOpen, kOpen, kOpen, kOpen), u"0.0.0.0"},
      {version(kOpen, 0, kOpen, 0), u"0.0.0.0"},
      {version(-3, 2, 0, 0), u"-3.2"},
      {version(2147483647, 0, 0, 1), u"2147483647.0.0.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(formatVersion(c.v), c.text);
  }
}

TEST(VersionRequirementText, PicksTheTextForTheLimitsGiven) {
  // Limits as the settings read gives them: the minimum filled with 0, the maximum with 65535,
  // the keyword "any" as all 0 (minimum) or all 65535 (maximum).
  struct Case {
    TextView minimum;
    TextView maximum;
    TextView text;
  };
  const Case cases[] = {
      {u"", u"", u"latest version"},
      {u"any", u"any", u"latest version"},
      {u"", u"1.6", u"maximum version 1.6"},
      {u"1.5", u"", u"minimum version 1.5"},
      {u"1.5", u"any", u"minimum version 1.5"},
      {u"1.6", u"no digits", u"minimum version 1.6"},
      {u"1.5", u"1.5", u"version between 1.5 and 1.5"},
      {u"1.5", u"1.5.0.0", u"version 1.5 is required"},
      {u"1.5", u"1.7.0_10", u"version between 1.5 and 1.7.0.10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.minimum) + " / " + toUtf8(c.maximum));
    JreVersion minimum = c.minimum == u"any" ? JreVersion::all(0) : parsed(c.minimum, 0);
    JreVersion maximum = c.maximum == u"any" ? JreVersion::all(kOpen) : parsed(c.maximum, kOpen);
    EXPECT_EQ(toUtf8(versionRequirementText(minimum, maximum)), toUtf8(c.text));
  }
}

}  // namespace
}  // namespace koru
