#include "launcher/single_instance.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"
#include "platform/scratch_folder_test.h"
#include "settings/settings_store.h"

namespace koru {
namespace {

TEST(SingleInstanceSetting, OnlyLowerCaseYesOutsideServiceMode) {
  struct Case {
    const char* ini;
    bool requested;
  };
  const Case cases[] = {
      {"[Application]\nSingle Instance=yes\n", true},
      {"[Application]\nSingle Instance=Yes\n", false},
      {"[Application]\nSingle Instance=YES\n", false},
      {"[Application]\nSingle Instance=yes \n", true},  // the profile functions trim blanks
      {"[Application]\nSingle Instance=no\n", false},
      {"[Application]\n", false},
      {"[Application]\nSingle Instance=yes\nApplication Type=service\n", false},
      {"[Application]\nSingle Instance=yes\nApplication Type=Service\n", true},
      {"[Application]\nSingle Instance=yes\nApplication Type=console\n", true},
  };
  ScratchFolder scratch("single");
  ASSERT_TRUE(scratch.ok());
  for (const Case& test : cases) {
    Text path = scratch.write(u"App.ini", std::string(test.ini));
    LayeredSettings settings(path);
    EXPECT_EQ(singleInstanceRequested(settings), test.requested) << test.ini;
  }
}

TEST(InstanceObjectName, BackslashesBecomeUnderscores) {
  EXPECT_EQ(instanceObjectName(u"C:\\Apps\\Tool\\tool.exe"), u"C:_Apps_Tool_tool.exe");
  EXPECT_EQ(instanceObjectName(u"\\\\server\\share\\a b.exe"), u"__server_share_a b.exe");
  seam::setModulePath(u"\\opt\\koru\\koru.exe");
  EXPECT_EQ(instanceObjectName(), u"_opt_koru_koru.exe");
}

// A block as another process may leave it: every unit set, so that stray data shows.
SingleInstanceBlock dirtyBlock() {
  SingleInstanceBlock block;
  block.messageThreadId = 1;
  block.processId = 2;
  block.handOverMessage = 3;
  for (char16_t& unit : block.argumentArea) unit = u'#';
  return block;
}

TEST(ArgumentArea, ArgumentsMakeTheRoundTripInOrder) {
  const TextList lists[] = {
      {u"a", u"b"},
      {u"with blank", u"\u00E9\u4E2D\U0001F600", u"-nosplash"},
      {u""},  // a second instance without arguments reads back as one empty string
  };
  for (const TextList& arguments : lists) {
    SingleInstanceBlock block = dirtyBlock();
    ASSERT_TRUE(writeArgumentsToBlock(arguments, block));
    EXPECT_EQ(readArgumentsFromBlock(block), arguments);
    EXPECT_EQ(block.processId, 2u);  // only the area is written
  }
}

TEST(ArgumentArea, NoArgumentsGiveOneEmptyString) {
  SingleInstanceBlock block = dirtyBlock();
  ASSERT_TRUE(writeArgumentsToBlock({}, block));
  EXPECT_EQ(block.argumentArea[0], 0);
  EXPECT_EQ(block.argumentArea[1], 0);
  EXPECT_EQ(readArgumentsFromBlock(block), TextList{u""});
}

TEST(ArgumentArea, ExactlyFullFitsAndOneUnitMoreWritesNothing) {
  // Two arguments: 1000 + 1 and 37 + 1 units, then the final zero: 1040.
  TextList full{Text(1000, u'x'), Text(37, u'y')};
  SingleInstanceBlock block = dirtyBlock();
  ASSERT_TRUE(writeArgumentsToBlock(full, block));
  EXPECT_EQ(block.argumentArea[kArgumentAreaUnits - 1], 0);
  EXPECT_EQ(readArgumentsFromBlock(block), full);

  TextList tooLong{Text(1000, u'x'), Text(38, u'y')};
  SingleInstanceBlock untouched = dirtyBlock();
  EXPECT_FALSE(writeArgumentsToBlock(tooLong, untouched));
  EXPECT_EQ(untouched.argumentArea[0], u'#');
  EXPECT_FALSE(writeArgumentsToBlock({Text(1040, u'z')}, untouched));
  EXPECT_EQ(untouched.argumentArea[kArgumentAreaUnits - 1], u'#');
}

TEST(ArgumentArea, ReadingStaysInsideAnUnterminatedArea) {
  // Written by some other process: no terminators at all, or a last argument without its
  // final pair of zeros. The reader must not run past the area (ASan checks) and drops the
  // open text.
  SingleInstanceBlock block = dirtyBlock();
  EXPECT_EQ(readArgumentsFromBlock(block), TextList{});

  block.argumentArea[1] = 0;  // "#", then # up to the end
  EXPECT_EQ(readArgumentsFromBlock(block), TextList{u"#"});

  // A terminator in the last unit alone does not close the list.
  SingleInstanceBlock lastOnly = dirtyBlock();
  lastOnly.argumentArea[kArgumentAreaUnits - 1] = 0;
  EXPECT_EQ(readArgumentsFromBlock(lastOnly), TextList{});

  // 1038 units of text and two zeros: the pair closes exactly at the end.
  SingleInstanceBlock closing = dirtyBlock();
  closing.argumentArea[kArgumentAreaUnits - 2] = 0;
  closing.argumentArea[kArgumentAreaUnits - 1] = 0;
  EXPECT_EQ(readArgumentsFromBlock(closing), TextList{Text(kArgumentAreaUnits - 2, u'#')});
}

TEST(SingleInstanceSetUp, NativeProcessRunsAsAnOrdinaryInstance) {
  ScratchFolder scratch("single");
  ASSERT_TRUE(scratch.ok());
  scratch.write(u"App.ini", std::string("[Application]\nSingle Instance=yes\n"));
  seam::setModulePath(scratch.path(u"App.exe"));
  JavaLauncher launcher;
  EXPECT_TRUE(setUpSingleInstance(launcher));
  EXPECT_FALSE(launcher.singleInstance);
  EXPECT_FALSE(launcher.firstInstance);

  seam::setModulePath(scratch.path(u"App"));  // no settings file can be named
  JavaLauncher unnamed;
  EXPECT_FALSE(setUpSingleInstance(unnamed));
  seam::setModulePath(u"\\opt\\koru\\koru.exe");
}

}  // namespace
}  // namespace koru
