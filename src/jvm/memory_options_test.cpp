#include "jvm/memory_options.h"

#include <gtest/gtest.h>

#include "platform/native_seam.h"

namespace koru {
namespace {

constexpr uint64_t kGiB = 1ull << 30;
constexpr uint64_t kTiB = 1ull << 40;

class MemoryFormTest : public ::testing::Test {
 protected:
  void TearDown() override { seam::setMemory(8 * kGiB, 128 * kTiB); }
};

TEST(IsMemoryForm, NeedsACaseSensitivePrefixAndAUnitLetter) {
  struct Case {
    TextView parameter;
    bool form;
  };
  const Case cases[] = {
      {u"-Xmx50P", true},  {u"-Xms25p", true},    {u"-Xss1T", true},     {u"-Xmx25t", true},
      {u"-XmxP", true},    {u"-xmx25P", false},   {u"-XMX25P", false},   {u"-Xmx512m", false},
      {u"-Xss", false},    {u"-Xmn50P", false},   {u"-DXmx50P", false},  {u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.parameter));
    EXPECT_EQ(isMemoryForm(c.parameter), c.form);
  }
}

TEST_F(MemoryFormTest, RewritesSharesOfMemoryIntoKilobytes) {
  struct Case {
    uint64_t physical;
    uint64_t virtualSpace;
    TextView parameter;
    TextView rewritten;
  };
  const Case cases[] = {
      {8 * kGiB, 0, u"-Xmx50P", u"-Xmx4194304K"},
      // The maximum of 1024 MB caps half of 8 GiB.
      {8 * kGiB, 0, u"-Xmx50:256:1024P", u"-Xmx1048576K"},
      // One percent of 1 GiB lies below the minimum, which wins.
      {1 * kGiB, 0, u"-Xms1:1024P", u"-Xms1048576K"},
      // The minimum wins over a smaller maximum too.
      {8 * kGiB, 0, u"-Xmx50:2048:1024P", u"-Xmx2097152K"},
      {8 * kGiB, 0, u"-Xmx:1024P", u"-Xmx1048576K"},
      {8 * kGiB, 0, u"-Xmx25p", u"-Xmx2097152K"},
      // Numbers after the third are ignored; other characters in the stretch are skipped.
      {8 * kGiB, 0, u"-Xmx50:0:0:7P", u"-Xmx4194304K"},
      {8 * kGiB, 0, u"-Xmx5x0P", u"-Xmx4194304K"},
      {8 * kGiB, 0, u"-XmxP", u"-XmxP0K"},
      {8 * kGiB, 0, u"-Xmx0P", u"-Xmx0K"},
      // Memory below one kilobyte has no whole kilobyte to share.
      {1000, 0, u"-Xmx100P", u"-Xmx0K"},
      // 'T' uses the available virtual space: half of 8 GiB here, ...
      {1 * kGiB, 8 * kGiB, u"-Xss50t", u"-Xss4194304K"},
      // ... and on a 128 TiB address space a quarter is 2^35 kilobytes, written in full.
      {1 * kGiB, 128 * kTiB, u"-Xmx25T", u"-Xmx34359738368K"},
      {1 * kGiB, 4 * kTiB, u"-Xmx100T", u"-Xmx4294967296K"},
      // A share far above the memory does not wrap or overflow.
      {8 * kGiB, 0, u"-Xmx99999999999999999999999P", u"-Xmx18446744073709551615K"},
      {8 * kGiB, 0, u"-Xmx1:99999999999999999999P", u"-Xmx18446744073709551615K"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.parameter));
    seam::setMemory(c.physical, c.virtualSpace);
    Text parameter(c.parameter);
    rewriteMemoryForm(parameter);
    EXPECT_EQ(toUtf8(parameter), toUtf8(c.rewritten));
  }
}

TEST(ParseStackSize, ReadsDigitsAndTheUnitLetter) {
  struct Case {
    TextView value;
    uint64_t bytes;
  };
  const Case cases[] = {
      {u"2m", 2097152},
      {u"2M", 2097152},
      {u"1024k", 1048576},
      {u"1024K", 1048576},
      {u"1048576", 1048576},
      {u"1g", 1073741824},
      {u"3G", 3221225472},
      {u"5x", 5},
      {u"1x5m", 15728640},
      {u"", 0},
      {u"m", 0},
      {u"x1m", 0},
      {u":1m", 0},
      {u"1:1m", 0},
      {u"99999999999999999999999g", 18446744073709551615ull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.value));
    EXPECT_EQ(parseStackSize(c.value), c.bytes);
  }
}

}  // namespace
}  // namespace koru
