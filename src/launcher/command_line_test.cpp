#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"

namespace koru {
namespace {

TEST(SplitArguments, CutsAtBlanksAndQuotes) {
  struct Case {
    TextView text;
    TextList tokens;
  };
  const Case cases[] = {
      {u"", {}},
      {u"a \"b c\" d", {u"a", u"b c", u"d"}},
      {u"\"\" x", {u"", u"x"}},
      {u"-Dx=\"a b\"", {u"-Dx=\"a", u"b\""}},
      {u"\"abc\"def", {u"abc", u"def"}},
      {u"\"abc", {u"abc"}},
      {u"x \"", {u"x", u""}},
      {u"a\tb", {u"a\tb"}},
      {u"\"C:\\dir\\\" x", {u"C:\\dir\\", u"x"}},
      {u" a", {u"", u"a"}},
      {u"a   b  ", {u"a", u"b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(splitArguments(c.text), c.tokens);
  }
}

TEST(ParseCommandLine, DropsTheProgramNameAndTrimsTheWholeLine) {
  struct Case {
    TextView commandLine;
    TextList arguments;
  };
  const Case cases[] = {
      {u"app.exe a \"b c\" d", {u"a", u"b c", u"d"}},
      {u"app.exe", {}},
      {u"  \t\r\napp.exe -nosplash /nosplash \t\r\n", {u"-nosplash", u"/nosplash"}},
      {u"C:\\Program Files\\app.exe a", {u"Files\\app.exe", u"a"}},
      {u"\"C:\\Program Files\\app.exe\" \"\" x", {u"", u"x"}},
      {u"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.commandLine));
    seam::setCommandLine(Text(c.commandLine));
    JavaLauncher launcher;
    launcher.parseCommandLine();
    EXPECT_EQ(launcher.arguments, c.arguments);
  }
}

}  // namespace
}  // namespace koru
