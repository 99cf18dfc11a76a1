#include "runtime/java_home.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/scratch_folder_test.h"

namespace koru {
namespace {

constexpr TextView kClient = u"bin\\client\\jvm.dll";
constexpr TextView kClassic = u"bin\\classic\\jvm.dll";
constexpr TextView kHotspot = u"bin\\hotspot\\jvm.dll";
constexpr TextView kServer = u"bin\\server\\jvm.dll";
constexpr TextView kJrockit = u"bin\\jrockit\\jvm.dll";

TEST(PathExists, FindsFilesAndFoldersButNoPatterns) {
  ScratchFolder tree;
  ASSERT_TRUE(tree.ok());
  tree.write(u"bin\\java.dll");
  EXPECT_TRUE(pathExists(tree.root() + u"bin\\java.dll"));
  EXPECT_TRUE(pathExists(tree.root() + u"bin"));
  EXPECT_TRUE(pathExists(tree.root() + u"bin\\"));
  EXPECT_FALSE(pathExists(tree.root() + u"bin\\jvm.dll"));
  EXPECT_FALSE(pathExists(tree.root() + u"missing\\java.dll"));
  // A pattern would match some other entry; it names no file.
  EXPECT_FALSE(pathExists(tree.root() + u"bin\\*.dll"));
  EXPECT_FALSE(pathExists(tree.root() + u"bin\\java.?ll"));
}

TEST(IsJavaHome, NeedsBinJavaDllRightInsideTheHome) {
  ScratchFolder tree;
  ASSERT_TRUE(tree.ok());
  tree.write(u"home\\bin\\java.dll");
  tree.write(u"outer\\jre\\bin\\java.dll");
  tree.write(u"libonly\\bin\\client\\jvm.dll");
  EXPECT_TRUE(isJavaHome(tree.root() + u"home\\"));
  EXPECT_FALSE(isJavaHome(tree.root() + u"outer\\"));
  EXPECT_FALSE(isJavaHome(tree.root() + u"libonly\\"));
  // Without its trailing backslash the home glues "bin" onto its own name.
  EXPECT_FALSE(isJavaHome(tree.root() + u"home"));
}

TEST(FindJvmLibrary, ProbesByJvmType) {
  struct Case {
    std::vector<TextView> libraries;
    JvmType type;
    TextView expected;  // empty: nothing usable
    bool server;
  };
  const Case cases[] = {
      {{kClient}, kJvmClient, kClient, false},
      {{kClient}, kJvmFavorServer, kClient, false},
      {{kClient}, kJvmServer, u"", false},
      {{kClient, kServer}, kJvmClient, kClient, false},
      {{kClient, kServer}, kJvmServer, kServer, true},
      {{kClient, kServer}, kJvmFavorServer, kServer, true},
      {{kServer}, kJvmClient, kServer, true},
      {{kJrockit}, kJvmClient, kJrockit, false},
      {{kJrockit}, kJvmFavorServer, kJrockit, false},
      {{kJrockit}, kJvmServer, u"", false},
      {{kClassic, kHotspot, kServer, kJrockit}, kJvmClient, kClassic, false},
      {{kHotspot, kServer, kJrockit}, kJvmClient, kHotspot, false},
      {{kServer, kJrockit}, kJvmClient, kServer, true},
      {{kHotspot, kJrockit}, kJvmFavorServer, kHotspot, false},
      // Any other number behaves as client.
      {{kClient, kServer}, 7, kClient, false},
      {{kServer, kJrockit}, -1, kServer, true},
      {{}, kJvmClient, u"", false},
      {{}, kJvmServer, u"", false},
      {{}, kJvmFavorServer, u"", false},
  };
  for (const Case& c : cases) {
    ScratchFolder tree;
    ASSERT_TRUE(tree.ok());
    tree.write(u"bin\\java.dll");
    for (TextView library : c.libraries) tree.write(library);
    // When nothing is found, the flag keeps whatever it held before.
    for (bool before : {false, true}) {
      SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << ", flag before " << before);
      bool server = before;
      Text found = findJvmLibrary(tree.root(), c.type, server);
      if (c.expected.empty()) {
        EXPECT_EQ(found, u"");
        EXPECT_EQ(server, before);
      } else {
        EXPECT_EQ(found, tree.root() + Text(c.expected));
        EXPECT_EQ(server, c.server);
      }
    }
  }
}

TEST(FindJvmLibrary, AppendsNamesWithoutASeparator) {
  ScratchFolder tree;
  ASSERT_TRUE(tree.ok());
  tree.write(u"jre\\bin\\client\\jvm.dll");
  bool server = true;
  EXPECT_EQ(findJvmLibrary(tree.root() + u"jre", kJvmClient, server), u"");
  EXPECT_TRUE(server);
  EXPECT_EQ(findJvmLibrary(tree.root() + u"jre\\", kJvmClient, server),
            tree.root() + u"jre\\bin\\client\\jvm.dll");
  EXPECT_FALSE(server);
}

TEST(IsX86Image, ReadsTheMachineFromThePeHeaders) {
  std::vector<uint8_t> x86 = peImage(kMachineX86);
  std::vector<uint8_t> noMz = x86;
  noMz[0] = 'N';
  std::vector<uint8_t> badSignature = x86;
  badSignature[0x80 + 3] = 1;  // PE\0\1
  std::vector<uint8_t> dosOnly = x86;
  dosOnly.resize(0x40);
  const std::string text = "MZ is how this text starts, but it is only text.\r\n";

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool x86;
  };
  const Case cases[] = {
      {"x86 image", x86, true},
      {"x86 image with NT headers right after the DOS header", peImage(kMachineX86, 0x40), true},
      {"x64 image", peImage(kMachineX64), false},
      {"ARM image", peImage(0x01C4), false},
      {"text file", std::vector<uint8_t>(text.begin(), text.end()), false},
      {"empty file", {}, false},
      {"MZ alone", {'M', 'Z'}, false},
      {"DOS header cut before its NT header offset", {x86.begin(), x86.begin() + 0x3E}, false},
      {"DOS header alone", dosOnly, false},
      {"no MZ", noMz, false},
      {"wrong PE signature", badSignature, false},
      {"NT headers cut after the machine field", peImage(kMachineX86, 0x80, 0x80 + 6), false},
      {"NT headers cut inside the file header", peImage(kMachineX86, 0x80, 0x80 + 23), false},
      {"file header complete", peImage(kMachineX86, 0x80, 0x80 + 24), true},
      {"NT header offset past the end", peImage(kMachineX86, 0x100000, 0x200), false},
      {"negative NT header offset", peImage(kMachineX86, 0xFFFFFFF0u, 0x200), false},
      {"NT header offset at the largest 32-bit value", peImage(kMachineX86, 0xFFFFFFFFu, 0x200),
       false},
  };
  ScratchFolder tree;
  ASSERT_TRUE(tree.ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isX86Image(tree.write(u"jvm.dll", c.bytes)), c.x86);
  }
  EXPECT_FALSE(isX86Image(tree.root() + u"missing.dll"));
  EXPECT_FALSE(isX86Image(tree.makeFolder(u"folder.dll")));
  EXPECT_FALSE(isX86Image(u""));
}

}  // namespace
}  // namespace koru
