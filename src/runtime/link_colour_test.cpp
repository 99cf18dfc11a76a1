#include "runtime/link_colour.h"

#include <gtest/gtest.h>

namespace koru {
namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

TEST(ParseColourTriple, ReadsTheBrowserTexts) {
  struct Case {
    TextView text;
    bool ok;
    uint32_t colour;
  };
  const Case cases[] = {
      {u"255,0,0", true, rgb(255, 0, 0)},
      {u"0,0,255", true, rgb(0, 0, 255)},
      {u" 128 , +0,128", true, rgb(128, 0, 128)},
      // Only the low 8 bits of each number count; text after a number is ignored.
      {u"256,257,-2", true, rgb(0, 1, 254)},
      {u"1x,2y,3z", true, rgb(1, 2, 3)},
      {u"99999999999999999999,0,0", true, rgb(255, 0, 0)},
      // A missing number reads as 0.
      {u",,7", true, rgb(0, 0, 7)},
      {u"255,0", false, 0},
      {u"255", false, 0},
      {u"", false, 0},
      {u"255,0,", false, 0},
      {u"-1,0,0", false, 0},
      {u"0,-1,0", false, 0},
      // Blue has no "not set" value: -1 is 255 in its low byte.
      {u"0,0,-1", true, rgb(0, 0, 255)},
  };
  for (const Case& c : cases) {
    uint32_t colour = 0xDEADBEEF;
    EXPECT_EQ(parseColourTriple(c.text, colour), c.ok) << toUtf8(c.text);
    EXPECT_EQ(colour, c.ok ? c.colour : 0xDEADBEEF) << toUtf8(c.text);
  }
}

}  // namespace
}  // namespace koru
