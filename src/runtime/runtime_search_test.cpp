#include "runtime/runtime_search.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"
#include "platform/platform.h"
#include "runtime/scratch_folder_test.h"

namespace koru {
namespace {

const Text kDefaultModulePath = u"\\opt\\koru\\koru.exe";

// Every test runs with the executable at <scratch>\app\koru.exe and leaves the seam, the
// current folder and APPDATA as it found them.
class RuntimeSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tree.ok());
    char* folder = getcwd(nullptr, 0);
    ASSERT_NE(folder, nullptr);
    savedFolder = folder;
    free(folder);
    seam::setModulePath(tree.root() + u"app\\koru.exe");
    tree.makeFolder(u"app");
  }
  void TearDown() override {
    seam::setModulePath(kDefaultModulePath);
    seam::setWindowsNt(true);
    if (!savedFolder.empty()) {
      EXPECT_EQ(chdir(savedFolder.c_str()), 0);
    }
  }

  // Writes each JVM library as an x64 image, or as an x86 one when it is listed in `x86`.
  void writeFiles(const std::vector<TextView>& files, const std::vector<TextView>& x86 = {}) {
    for (TextView file : files) {
      bool isJvm = endsWith(file, u"jvm.dll");
      bool is32 = std::find(x86.begin(), x86.end(), file) != x86.end();
      tree.write(file, isJvm ? peImage(is32 ? kMachineX86 : kMachineX64) : std::vector<uint8_t>{});
    }
  }

  ScratchFolder tree;
  std::string savedFolder;
};

TEST_F(RuntimeSearch, TakesJrePathThenThePrivateFolder) {
  struct Case {
    const char* name;
    std::vector<TextView> files;
    TextView jrePath;  // below the scratch root; empty: not set
    JvmType type;
    TextView expected;  // below the scratch root; empty: nothing found
  };
  const Case cases[] = {
      {"JRE Path wins over the private folder, java.dll or not",
       {u"myjre\\bin\\client\\jvm.dll", u"app\\bin\\java.dll", u"app\\bin\\client\\jvm.dll"},
       u"myjre",
       kJvmClient,
       u"myjre\\bin\\client\\jvm.dll"},
      {"JRE Path that already ends with a backslash",
       {u"myjre\\bin\\java.dll", u"myjre\\bin\\server\\jvm.dll"},
       u"myjre\\",
       kJvmFavorServer,
       u"myjre\\bin\\server\\jvm.dll"},
      {"JRE Path without a library for the type falls through",
       {u"myjre\\bin\\java.dll", u"myjre\\bin\\client\\jvm.dll", u"app\\bin\\java.dll",
        u"app\\bin\\server\\jvm.dll"},
       u"myjre",
       kJvmServer,
       u"app\\bin\\server\\jvm.dll"},
      {"JRE Path names the home itself: no jre\\ is added",
       {u"myjre\\jre\\bin\\java.dll", u"myjre\\jre\\bin\\client\\jvm.dll"},
       u"myjre",
       kJvmClient,
       u""},
      {"the executable's folder is the Java home",
       {u"app\\bin\\java.dll", u"app\\bin\\client\\jvm.dll", u"app\\jre64\\bin\\java.dll",
        u"app\\jre64\\bin\\client\\jvm.dll"},
       u"",
       kJvmClient,
       u"app\\bin\\client\\jvm.dll"},
      {"jre64 when the executable's folder is no Java home",
       {u"app\\bin\\client\\jvm.dll", u"app\\jre64\\bin\\java.dll",
        u"app\\jre64\\bin\\server\\jvm.dll"},
       u"",
       kJvmClient,
       u"app\\jre64\\bin\\server\\jvm.dll"},
      {"jre64 is not looked at when the folder is a home without a usable library",
       {u"app\\bin\\java.dll", u"app\\bin\\client\\jvm.dll", u"app\\jre64\\bin\\java.dll",
        u"app\\jre64\\bin\\server\\jvm.dll"},
       u"",
       kJvmServer,
       u""},
      {"jre64 without java.dll is no Java home",
       {u"app\\jre64\\bin\\client\\jvm.dll"},
       u"",
       kJvmClient,
       u""},
      {"a jre folder beside the executable is never looked at",
       {u"app\\jre\\bin\\java.dll", u"app\\jre\\bin\\client\\jvm.dll"},
       u"",
       kJvmClient,
       u""},
      {"nothing anywhere", {}, u"myjre", kJvmClient, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder caseTree;
    ASSERT_TRUE(caseTree.ok());
    seam::setModulePath(caseTree.root() + u"app\\koru.exe");
    caseTree.makeFolder(u"app");
    for (TextView file : c.files) caseTree.write(file, peImage(kMachineX64));

    JavaLauncher launcher;
    launcher.jvmType = c.type;
    if (!c.jrePath.empty()) launcher.jrePath = caseTree.root() + Text(c.jrePath);
    // The version limits concern registry runtimes only.
    launcher.minimumVersion = JreVersion{{99, 0, 0, 0}};
    launcher.maximumVersion = JreVersion{{99, 1, 0, 0}};
    launcher.jvmLibraryPath = u"left over";
    launcher.handOverToPairedProduct = true;

    EXPECT_EQ(launcher.locateJavaRuntime(), !c.expected.empty());
    EXPECT_EQ(launcher.jvmLibraryPath,
              c.expected.empty() ? Text() : caseTree.root() + Text(c.expected));
    EXPECT_FALSE(launcher.handOverToPairedProduct);
  }
}

TEST_F(RuntimeSearch, RelativeJrePathStaysRelative) {
  writeFiles({u"jre\\bin\\client\\jvm.dll"}, {u"jre\\bin\\client\\jvm.dll"});
  ASSERT_TRUE(setCurrentFolder(tree.root()));
  JavaLauncher launcher;
  launcher.jrePath = u"jre";
  launcher.pairProduct = u"koru32.exe";
  EXPECT_TRUE(launcher.locateJavaRuntime());
  EXPECT_EQ(launcher.jvmLibraryPath, u"jre\\bin\\client\\jvm.dll");
  // The hand-over test reads the relative path too.
  EXPECT_TRUE(launcher.handOverToPairedProduct);

  ASSERT_TRUE(setCurrentFolder(tree.root() + u"app"));
  EXPECT_FALSE(launcher.locateJavaRuntime());
  EXPECT_EQ(launcher.jvmLibraryPath, u"");
  EXPECT_FALSE(launcher.handOverToPairedProduct);
}

TEST_F(RuntimeSearch, HandsOverOnlyAnX86LibraryFromJrePathWithAPairedProduct) {
  writeFiles({u"x86\\bin\\client\\jvm.dll", u"x64\\bin\\client\\jvm.dll", u"app\\bin\\java.dll",
              u"app\\bin\\client\\jvm.dll"},
             {u"x86\\bin\\client\\jvm.dll", u"app\\bin\\client\\jvm.dll"});
  struct Case {
    TextView jrePath;
    TextView pairProduct;
    TextView expected;
    bool handOver;
  };
  const Case cases[] = {
      {u"x86", u"koru32.exe", u"x86\\bin\\client\\jvm.dll", true},
      {u"x64", u"koru32.exe", u"x64\\bin\\client\\jvm.dll", false},
      {u"x86", u"", u"x86\\bin\\client\\jvm.dll", false},
      // The private folder never hands over, whatever its library's machine.
      {u"", u"koru32.exe", u"app\\bin\\client\\jvm.dll", false},
      {u"missing", u"koru32.exe", u"app\\bin\\client\\jvm.dll", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.jrePath) + " / " + toUtf8(c.pairProduct));
    JavaLauncher launcher;
    if (!c.jrePath.empty()) launcher.jrePath = tree.root() + Text(c.jrePath);
    launcher.pairProduct = Text(c.pairProduct);
    launcher.handOverToPairedProduct = !c.handOver;
    EXPECT_TRUE(launcher.locateJavaRuntime());
    EXPECT_EQ(launcher.jvmLibraryPath, tree.root() + Text(c.expected));
    EXPECT_EQ(launcher.handOverToPairedProduct, c.handOver);
  }
}

TEST_F(RuntimeSearch, PrivateFolderNeedsTheModulePath) {
  writeFiles({u"bin\\java.dll", u"bin\\client\\jvm.dll"});
  seam::setModulePath(tree.root() + u"koru.exe");
  EXPECT_EQ(findPrivateJavaHome(), tree.root());

  // A failing module path is reported there and leaves no private runtime.
  seam::setModulePath(u"");
  testing::internal::CaptureStdout();
  EXPECT_EQ(findPrivateJavaHome(), u"");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Windows exception: failed to get the module path (errno = 5).\n \n");
}

// The chosen folder goes to the per-user files of both products on NT outside service mode,
// to the paired product's own settings file otherwise, and nowhere without a paired product.
TEST_F(RuntimeSearch, StoresTheChosenFolderWhereTheNextStartReadsIt) {
  struct Case {
    const char* name;
    bool nt;
    bool service;
    TextView pairProduct;  // below the scratch root; empty: not set
    bool modulePathFails;
    bool ownPerUser;
    bool pairedPerUser;
    bool pairedFile;
  };
  const Case cases[] = {
      {"NT application", true, false, u"pair\\Pair.exe", false, true, true, false},
      {"NT service", true, true, u"pair\\Pair.exe", false, false, false, true},
      {"not NT", false, false, u"pair\\Pair.exe", false, false, false, true},
      {"not NT, service", false, true, u"pair\\Pair.exe", false, false, false, true},
      {"no paired product", true, false, u"", false, false, false, false},
      {"no paired product, not NT", false, false, u"", false, false, false, false},
      {"paired product without a dot", true, false, u"pair\\Pair", false, false, false, false},
      {"paired product without a dot, not NT", false, false, u"pair\\Pair", false, false, false,
       false},
      // The own per-user file cannot be named; the paired product still gets the folder.
      {"module path unavailable", true, false, u"pair\\Pair.exe", true, false, true, false},
  };
  const char* savedAppData = getenv("APPDATA");
  const std::string appDataBefore = savedAppData ? savedAppData : "";
  const Text chosen = u"C:\\Program Files\\Java\\jre7\\";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder caseTree;
    ASSERT_TRUE(caseTree.ok());
    caseTree.makeFolder(u"appdata");
    caseTree.makeFolder(u"pair");
    setEnvironmentVariable(u"APPDATA", caseTree.root() + u"appdata");
    seam::setModulePath(c.modulePathFails ? Text() : caseTree.root() + u"app\\koru.exe");
    seam::setWindowsNt(c.nt);

    JavaLauncher launcher;
    launcher.productName = u"Prod";
    launcher.productCode = u"{42}";
    launcher.serviceMode = c.service;
    if (!c.pairProduct.empty()) launcher.pairProduct = caseTree.root() + Text(c.pairProduct);
    testing::internal::CaptureStdout();
    storeChosenJrePath(launcher, chosen);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.empty(), !c.modulePathFails) << output;

    auto stored = [&](TextView relative) {
      char16_t buffer[260];
      uint32_t count = readProfileString(u"Java Runtime Environment", u"JRE Path",
                                         caseTree.root() + Text(relative), buffer, 260);
      return Text(buffer, count);
    };
    const TextView files[] = {u"appdata\\Prod\\{42}\\koru.ini", u"appdata\\Prod\\{42}\\Pair.ini",
                              u"pair\\Pair.ini"};
    const bool expected[] = {c.ownPerUser, c.pairedPerUser, c.pairedFile};
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(toUtf8(files[i]));
      EXPECT_EQ(caseTree.exists(files[i]), expected[i]);
      EXPECT_EQ(stored(files[i]), expected[i] ? chosen : Text());
    }
    // Nothing else is written: no stray file in the scratch tree's first level.
    EXPECT_FALSE(caseTree.exists(u"Pair.ini"));
    EXPECT_FALSE(caseTree.exists(u"app\\koru.ini"));
  }
  if (savedAppData) {
    setEnvironmentVariable(u"APPDATA", fromUtf8(appDataBefore));
  } else {
    unsetenv("APPDATA");
  }
}

}  // namespace
}  // namespace koru
