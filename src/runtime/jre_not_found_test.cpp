#include "runtime/jre_not_found.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "runtime/java_home.h"
#include "runtime/scratch_folder_test.h"

namespace koru {
namespace {

JreVersion version(int32_t a, int32_t b, int32_t c, int32_t d) { return JreVersion{{a, b, c, d}}; }

constexpr int32_t kOpen = kVersionOpenPart;

TEST(JreNotFoundMessage, NamesTheVmAndTheAcceptableVersions) {
  const Text plain =
      u"The Java Runtime Environment (JRE) was not found. Please  download and install a JRE (";
  const Text server =
      u"The Java Runtime Environment (JRE) was not found. Please  download and install a JRE "
      u"with a server JVM (";
  struct Case {
    JvmType type;
    JreVersion minimum;
    JreVersion maximum;
    Text expected;
  };
  const Case cases[] = {
      // No limits at all (absent minimum, absent maximum) with the default type.
      {kJvmClient, JreVersion(), JreVersion(), plain + u"latest version) from:"},
      {kJvmClient, JreVersion(), JreVersion::all(kOpen), plain + u"latest version) from:"},
      // favor_server also takes a client VM, so it does not ask for a server JVM.
      {kJvmFavorServer, version(1, 5, 0, 0), JreVersion(),
       plain + u"minimum version 1.5) from:"},
      {kJvmServer, version(1, 5, 0, 0), JreVersion(), server + u"minimum version 1.5) from:"},
      {kJvmServer, JreVersion(), version(1, 6, kOpen, kOpen),
       server + u"maximum version 1.6) from:"},
      // Minimum 1.5 and maximum 1.6.0.0 as configured.
      {kJvmClient, version(1, 5, 0, 0), version(1, 6, 0, 0),
       plain + u"version between 1.5 and 1.6) from:"},
      // Minimum and maximum both configured as 1.5: the open maximum differs from the minimum.
      {kJvmClient, version(1, 5, 0, 0), version(1, 5, kOpen, kOpen),
       plain + u"version between 1.5 and 1.5) from:"},
      {kJvmClient, version(1, 5, 0, 0), version(1, 5, 0, 0),
       plain + u"version 1.5 is required) from:"},
      // A number outside the known types behaves as client.
      {7, JreVersion(), JreVersion(), plain + u"latest version) from:"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toUtf8(jreNotFoundMessage(c.type, c.minimum, c.maximum)), toUtf8(c.expected))
        << "type " << c.type;
  }
}

TEST(ProbePickedFolder, ProbesThePickedFolderItselfForTheConfiguredType) {
  ScratchFolder tree;
  ASSERT_TRUE(tree.ok());
  tree.write(u"client\\bin\\client\\jvm.dll");
  tree.write(u"both\\bin\\client\\jvm.dll");
  tree.write(u"both\\bin\\server\\jvm.dll");
  tree.write(u"jdk\\jre\\bin\\server\\jvm.dll");
  const Text root = tree.root();
  struct Case {
    Text picked;
    JvmType type;
    Text folder;
    Text library;
  };
  const Case cases[] = {
      {root + u"client", kJvmClient, root + u"client\\", root + u"client\\bin\\client\\jvm.dll"},
      // A folder already ending with a backslash (a drive root) keeps its one backslash.
      {root + u"both\\", kJvmClient, root + u"both\\", root + u"both\\bin\\client\\jvm.dll"},
      {root + u"both", kJvmFavorServer, root + u"both\\", root + u"both\\bin\\server\\jvm.dll"},
      // Only a client VM with server: the folder is shown but OK stays disabled.
      {root + u"client", kJvmServer, root + u"client\\", Text()},
      // The runtime of a JDK lies in its jre subfolder, which is not looked at.
      {root + u"jdk", kJvmServer, root + u"jdk\\", Text()},
      {root + u"missing", kJvmClient, root + u"missing\\", Text()},
  };
  for (const Case& c : cases) {
    PickedRuntime picked = probePickedFolder(c.picked, c.type);
    EXPECT_EQ(toUtf8(picked.folder), toUtf8(c.folder)) << toUtf8(c.picked);
    EXPECT_EQ(toUtf8(picked.jvmLibraryPath), toUtf8(c.library)) << toUtf8(c.picked);
  }
}

TEST(ProbePickedFolder, AnEmptyPickDoesNotProbeTheCurrentFolder) {
  ScratchFolder tree;
  ASSERT_TRUE(tree.ok());
  tree.write(u"bin\\client\\jvm.dll");
  // A current folder holding a runtime must not make an empty pick usable.
  char* current = getcwd(nullptr, 0);
  ASSERT_NE(current, nullptr);
  std::string saved = current;
  free(current);
  ASSERT_EQ(chdir(toUtf8(replaced(tree.folder(), u'\\', u'/')).c_str()), 0);
  bool server = false;
  bool currentFolderHasRuntime = !findJvmLibrary(u"", kJvmClient, server).empty();
  PickedRuntime picked = probePickedFolder(u"", kJvmClient);
  EXPECT_EQ(chdir(saved.c_str()), 0);
  EXPECT_TRUE(currentFolderHasRuntime);
  EXPECT_TRUE(picked.folder.empty());
  EXPECT_TRUE(picked.jvmLibraryPath.empty());
}

}  // namespace
}  // namespace koru
