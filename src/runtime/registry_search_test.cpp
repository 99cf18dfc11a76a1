#include "runtime/registry_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"
#include "runtime/scratch_folder_test.h"
#include "settings/launcher_settings.h"

namespace koru {
namespace {

constexpr TextView kJdk = u"Software\\JavaSoft\\Java Development Kit\\";
constexpr TextView kJre = u"Software\\JavaSoft\\Java Runtime Environment\\";
constexpr TextView kJRockitJre = u"Software\\JRockit\\Java Runtime Environment\\";
constexpr TextView kJRockitJdk = u"Software\\JRockit\\Java Development Kit\\";
constexpr TextView kIbm = u"Software\\IBM\\Java2 Runtime Environment\\";

constexpr TextView kClient = u"bin\\client\\jvm.dll";
constexpr TextView kServer = u"bin\\server\\jvm.dll";

// One version subkey: its tree, its name, and the folder (below the scratch root) that its
// "JavaHome" names; the JVM libraries listed are written below the runtime's Java home (for a
// JDK tree that is the folder's "jre\").
struct Runtime {
  TextView tree;
  TextView name;
  TextView folder;
  std::vector<TextView> libraries = {kClient};
  bool in32BitView = false;
};

bool isJdkTree(TextView tree) { return endsWith(tree, u"Java Development Kit\\"); }

// The launcher runs as <scratch>\app\koru.exe with koru.ini beside it, and sees the in-memory
// registry only through the seam.
class RegistrySearch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tree.ok());
    seam::clearRegistry();
    seam::setModulePath(tree.root() + u"app\\koru.exe");
  }
  void TearDown() override {
    seam::clearRegistry();
    seam::setModulePath(u"\\opt\\koru\\koru.exe");
  }

  void install(const std::vector<Runtime>& runtimes) {
    for (const Runtime& runtime : runtimes) {
      Text home = homeOf(runtime.folder, runtime.tree);
      for (TextView library : runtime.libraries) {
        tree.write(home.substr(tree.root().size()) + Text(library));
      }
      seam::addRegistryKey(Text(runtime.tree) + Text(runtime.name), runtime.in32BitView,
                           u"JavaHome", tree.path(runtime.folder) + u'\0');
    }
  }

  // Reads the settings file with the "Java Runtime Environment" lines given (each
  // "Key=Value") and, when not empty, "Pair Product", the way the launcher reads it.
  void readSettings(JavaLauncher& launcher, const std::vector<std::string>& lines,
                    const std::string& pairProduct = "") {
    std::string ini = "[Java Runtime Environment]\r\nMain Class=Main\r\n";
    for (const std::string& line : lines) ini += line + "\r\n";
    if (!pairProduct.empty()) ini += "[Application]\r\nPair Product=" + pairProduct + "\r\n";
    tree.write(u"app\\koru.ini", ini);
    ASSERT_TRUE(readLauncherSettings(launcher));
  }

  // The Java home a folder below the scratch root gives for its tree.
  Text homeOf(TextView folder, TextView treePath) const {
    return tree.path(folder) + (isJdkTree(treePath) ? u"\\jre\\" : u"\\");
  }

  ScratchFolder tree{"registry"};
};

// Which trees are visited, which runtimes are favoured, the version limits and the preferred
// versions, seen through the Java home that one native pass selects.
TEST_F(RegistrySearch, SelectsByTreesLimitsRankAndPreference) {
  struct Case {
    const char* name;
    std::vector<Runtime> runtimes;
    std::vector<std::string> settings;
    TextView expectedFolder;  // empty: nothing selected
    TextView expectedTree = kJre;
  };
  const Case cases[] = {
      {"defaults: only the JavaSoft trees, the newest within the limits",
       {{kJre, u"1.6.0_22", u"jre6"},
        {kJdk, u"1.7.0_01", u"jdk7"},
        {kJRockitJre, u"1.8", u"jrockit"},
        {kIbm, u"1.9", u"ibm"}},
       {},
       u"jdk7",
       kJdk},
      {"VM Provider any: all five trees, none favoured, the newest wins",
       {{kJre, u"1.6.0_22", u"jre6"},
        {kJdk, u"1.5.0", u"jdk5"},
        {kIbm, u"1.7", u"ibm"},
        {kJRockitJdk, u"1.6.0_30", u"jrockitjdk"}},
       {"VM Provider=any"},
       u"ibm",
       kIbm},
      {"VM Provider any reaches the JRockit JDK tree",
       {{kJre, u"1.6.0_22", u"jre6"}, {kJRockitJdk, u"1.6.0_30", u"jrockitjdk"}},
       {"VM Provider=ANY"},
       u"jrockitjdk",
       kJRockitJdk},
      {"favor_ibm: an IBM 1.5 outranks a JavaSoft 1.6",
       {{kJre, u"1.6", u"jre6"}, {kIbm, u"1.5", u"ibm"}},
       {"VM Provider=favor_ibm"},
       u"ibm",
       kIbm},
      {"favor_ibm with only_JRE: favouring is ignored, the JavaSoft 1.6 wins",
       {{kJre, u"1.6", u"jre6"}, {kIbm, u"1.5", u"ibm"}},
       {"VM Provider=favor_ibm", "JVM Source=only_JRE"},
       u"jre6"},
      {"only_JRE searches no JDK tree",
       {{kJre, u"1.5", u"jre5"}, {kJdk, u"1.6", u"jdk6"}},
       {"JVM Source=only_JRE"},
       u"jre5"},
      {"only_JDK searches no JRE tree",
       {{kJre, u"1.6", u"jre6"}, {kJdk, u"1.5", u"jdk5"}},
       {"JVM Source=only_JDK"},
       u"jdk5",
       kJdk},
      {"favor_JDK: a JDK 1.5 outranks a JRE 1.6 of the same vendor",
       {{kJre, u"1.6", u"jre6"}, {kJdk, u"1.5", u"jdk5"}},
       {"JVM Source=favor_JDK"},
       u"jdk5",
       kJdk},
      {"favor_JRE: a JRE 1.5 outranks a JDK 1.6",
       {{kJdk, u"1.6", u"jdk6"}, {kJre, u"1.5", u"jre5"}},
       {"JVM Source=favor_JRE"},
       u"jre5"},
      {"a JVM Source outside the four keywords searches no tree",
       {{kJre, u"1.6", u"jre6"}, {kJdk, u"1.5", u"jdk5"}},
       {"JVM Source=JDK"},
       u""},
      {"jrockit accepts JRockit only",
       {{kJre, u"1.7", u"jre7"}, {kJRockitJre, u"1.5", u"jrockit"}},
       {"VM Provider=JRockit"},
       u"jrockit",
       kJRockitJre},
      {"the full key ranks above the family key of one installation",
       {{kJre, u"1.6", u"family"}, {kJre, u"1.6.0_22", u"full"}},
       {},
       u"full"},
      {"a name without digits passes with the minimum 0.0.0.0",
       {{kJre, u"latest", u"latest"}},
       {},
       u"latest"},
      {"a name without digits fails any minimum",
       {{kJre, u"latest", u"latest"}},
       {"Minimum Version=1.1"},
       u""},
      {"an absent Maximum Version is no maximum",
       {{kJre, u"1.6.0_22", u"jre6"}, {kJre, u"11.0.2", u"jre11"}},
       {},
       u"jre11"},
      {"an empty Maximum Version is no maximum",
       {{kJre, u"1.6.0_22", u"jre6"}, {kJre, u"11.0.2", u"jre11"}},
       {"Maximum Version="},
       u"jre11"},
      {"a Maximum Version without digits is no maximum",
       {{kJre, u"1.6.0_22", u"jre6"}, {kJre, u"11.0.2", u"jre11"}},
       {"Maximum Version=none"},
       u"jre11"},
      {"Maximum Version any admits every version above the minimum",
       {{kJre, u"1.5", u"jre5"}, {kJre, u"11.0.2", u"jre11"}},
       {"Maximum Version=any", "Minimum Version=1.6"},
       u"jre11"},
      {"a maximum of 1.6 admits every 1.6 update, no 1.7",
       {{kJre, u"1.6.0_45", u"jre6"}, {kJre, u"1.7.0", u"jre7"}},
       {"Maximum Version=1.6"},
       u"jre6"},
      {"both limits are inclusive",
       {{kJre, u"1.6.0_21", u"below"},
        {kJre, u"1.6.0_22", u"exact"},
        {kJre, u"1.6.0_23", u"above"}},
       {"Minimum Version=1.6.0.22", "Maximum Version=1.6.0.22"},
       u"exact"},
      {"nothing within the limits",
       {{kJre, u"1.5", u"jre5"}, {kJre, u"1.8", u"jre8"}},
       {"Minimum Version=1.6", "Maximum Version=1.7"},
       u""},
      {"Preferred versions 1.5;1.6 selects the 1.5",
       {{kJre, u"1.6.0_22", u"jre6"}, {kJre, u"1.5.0_06", u"jre5"}},
       {"Preferred versions=1.5;1.6"},
       u"jre5"},
      {"Preferred versions 1.7;1.6 without a 1.7 selects the best 1.6",
       {{kJre, u"1.6.0_20", u"jre6old"}, {kJre, u"1.6.0_22", u"jre6"}, {kJre, u"1.8", u"jre8"}},
       {"Preferred versions=1.7;1.6"},
       u"jre6"},
      {"Preferred versions 1.7;;1.5: the empty entry selects the top-ranked",
       {{kJre, u"1.6.0_22", u"jre6"}, {kJre, u"1.5.0_06", u"jre5"}},
       {"Preferred versions=1.7;;1.5"},
       u"jre6"},
      {"a preferred version that matches nothing selects the top-ranked",
       {{kJre, u"1.5.0_06", u"jre5"}, {kJre, u"1.6.0_22", u"jre6"}},
       {"Preferred versions=1.4"},
       u"jre6"},
      {"preference walks the ranked list, not the discovery order",
       {{kJdk, u"1.6.0_30", u"jdk6"}, {kJre, u"1.6.0_20", u"jre6"}},
       {"JVM Source=favor_JRE", "Preferred versions=1.6"},
       u"jre6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    seam::clearRegistry();
    install(c.runtimes);
    JavaLauncher launcher;
    readSettings(launcher, c.settings);
    Text home = u"untouched";
    EXPECT_EQ(searchRegistryRuntimes(launcher, false, home), !c.expectedFolder.empty());
    EXPECT_EQ(home, c.expectedFolder.empty() ? Text(u"untouched")
                                             : homeOf(c.expectedFolder, c.expectedTree));
    EXPECT_FALSE(launcher.handOverToPairedProduct);
  }
}

// What a version subkey's "JavaHome" value yields.
TEST_F(RegistrySearch, ReadsJavaHomeValues) {
  tree.write(u"rt\\bin\\client\\jvm.dll");
  tree.write(u"jdk\\jre\\bin\\server\\jvm.dll");
  tree.write(u"serveronly\\bin\\server\\jvm.dll");
  const Text rt = tree.path(u"rt");
  struct Case {
    const char* name;
    TextView tree;
    TextView valueName;  // empty: the subkey has no value
    Text data;
    JvmType type;
    Text expected;
    bool server;
  };
  const Case cases[] = {
      {"text with its terminator", kJre, u"JavaHome", rt + u'\0', kJvmClient, rt + u"\\", false},
      {"text without a terminator", kJre, u"JavaHome", rt, kJvmClient, rt + u"\\", false},
      {"a trailing backslash is kept, not doubled", kJre, u"JavaHome", rt + u"\\" + u'\0',
       kJvmClient, rt + u"\\", false},
      {"the text ends at its first NUL", kJre, u"JavaHome", rt + u'\0' + u"junk" + u'\0',
       kJvmClient, rt + u"\\", false},
      {"the value name is found in any case", kJre, u"JAVAHOME", rt, kJvmClient, rt + u"\\", false},
      {"a JDK's Java home is its jre folder", kJdk, u"JavaHome", tree.path(u"jdk"), kJvmServer,
       tree.path(u"jdk\\jre\\"), true},
      {"the JDK's own folder is not probed", kJdk, u"JavaHome", rt, kJvmClient, u"", false},
      {"no JavaHome value", kJre, u"", u"", kJvmClient, u"", false},
      {"another value only", kJre, u"RuntimeLib", rt, kJvmClient, u"", false},
      {"a value without data", kJre, u"JavaHome", u"", kJvmClient, u"", false},
      {"an empty text yields nothing", kJre, u"JavaHome", Text(1, u'\0'), kJvmClient, u"", false},
      {"a folder that does not exist", kJre, u"JavaHome", tree.path(u"missing"), kJvmClient, u"",
       false},
      {"no library usable with the type", kJre, u"JavaHome", rt, kJvmServer, u"", false},
      {"the server VM is flagged", kJre, u"JavaHome", tree.path(u"serveronly"), kJvmClient,
       tree.path(u"serveronly\\"), true},
      {"favor_server is probed as client in the JavaSoft JRE tree", kJre, u"JavaHome",
       tree.path(u"serveronly"), kJvmFavorServer, tree.path(u"serveronly\\"), true},
      {"other trees probe the launcher's own type", kIbm, u"JavaHome", tree.path(u"serveronly"),
       kJvmServer, tree.path(u"serveronly\\"), true},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegistryTree* registryTree = nullptr;
    for (const RegistryTree& candidate : kRegistryTrees) {
      if (candidate.path == c.tree) registryTree = &candidate;
    }
    ASSERT_NE(registryTree, nullptr);
    Text name = u"1.6.0_" + decimalText(static_cast<int64_t>(index++));
    seam::addRegistryKey(Text(c.tree) + name, false, c.valueName, c.data);
    JavaLauncher launcher;
    launcher.jvmType = c.type;
    bool server = false;
    EXPECT_EQ(readRegistryJavaHome(launcher, *registryTree, name, false, server), c.expected);
    EXPECT_EQ(server, c.server);
    // The other view holds nothing.
    EXPECT_EQ(readRegistryJavaHome(launcher, *registryTree, name, true, server), u"");
  }
}

// Subkeys that give no Java home drop out silently, and the scan goes on with the next one.
TEST_F(RegistrySearch, SubkeysWithoutAHomeDropOut) {
  install({{kJre, u"1.5", u"jre5"}});
  seam::addRegistryKey(Text(kJre) + u"1.9", false, u"JavaHome", Text(1, u'\0'));
  seam::addRegistryKey(Text(kJre) + u"1.8", false);
  seam::addRegistryKey(Text(kJre) + u"1.7", false, u"JavaHome", tree.path(u"nothing"));
  JavaLauncher launcher;
  readSettings(launcher, {});
  CandidateList list;
  scanRegistryTree(launcher, kRegistryTrees[1], false, list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].javaHome, tree.path(u"jre5\\"));
  EXPECT_EQ(list[0].version, (JreVersion{{1, 5, 0, 0}}));
  ASSERT_TRUE(launcher.locateJavaRuntime());
  EXPECT_EQ(launcher.jvmLibraryPath, tree.path(u"jre5\\bin\\client\\jvm.dll"));
}

// The favor_server exception: the JRE tree probes client, a JDK tree probes favor_server, and
// the located library is then taken with the launcher's own type.
TEST_F(RegistrySearch, FavorServerRanksServerFirst) {
  install(
      {{kJre, u"1.6.0_22", u"jre", {kClient, kServer}}, {kJdk, u"1.6.0_20", u"jdk", {kServer}}});
  JavaLauncher launcher;
  readSettings(launcher, {"JVM Type=favor_server"});
  CandidateList list;
  scanRegistryTree(launcher, kRegistryTrees[1], false, list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_FALSE(list[0].isServerVm);
  EXPECT_TRUE(list[0].isFavoured);

  ASSERT_TRUE(launcher.locateJavaRuntime());
  EXPECT_EQ(launcher.jvmLibraryPath, tree.path(u"jdk\\jre\\bin\\server\\jvm.dll"));

  // Without favor_server the newer JRE wins, and its client VM is taken.
  JavaLauncher client;
  readSettings(client, {});
  ASSERT_TRUE(client.locateJavaRuntime());
  EXPECT_EQ(client.jvmLibraryPath, tree.path(u"jre\\bin\\client\\jvm.dll"));
}

// The ranking keys, each counted only where it applies; equals keep discovery order.
TEST_F(RegistrySearch, RanksStably) {
  const JreVersion v5{{1, 5, 0, 0}}, v6{{1, 6, 0, 0}}, v7{{1, 7, 0, 0}};
  // Discovery order: a, b, c, d, e.
  const CandidateList discovered = {
      {v6, u"a\\", false, false}, {v5, u"b\\", true, true},  {v7, u"c\\", false, false},
      {v6, u"d\\", false, false}, {v5, u"e\\", true, false},
  };
  struct Case {
    const char* name;
    bool searchBothKinds;
    JvmType type;
    std::vector<Text> order;
  };
  const Case cases[] = {
      {"favoured, then version", true, kJvmClient, {u"b\\", u"c\\", u"a\\", u"d\\", u"e\\"}},
      {"favoured, server, then version",
       true,
       kJvmFavorServer,
       {u"b\\", u"e\\", u"c\\", u"a\\", u"d\\"}},
      {"version only", false, kJvmServer, {u"c\\", u"a\\", u"d\\", u"b\\", u"e\\"}},
      {"server, then version", false, kJvmFavorServer, {u"b\\", u"e\\", u"c\\", u"a\\", u"d\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JavaLauncher launcher;
    launcher.jvmSource.searchBothKinds = c.searchBothKinds;
    launcher.jvmType = c.type;
    CandidateList list = discovered;
    rankCandidates(launcher, list);
    std::vector<Text> order;
    for (const JavaHomeCandidate& candidate : list) order.push_back(candidate.javaHome);
    EXPECT_EQ(order, c.order);
  }
}

// The 32-bit view is searched only for a paired product, and only when the native view gives
// nothing; what it selects is handed over to the paired product.
TEST_F(RegistrySearch, SearchesThe32BitViewOnlyForAPairedProduct) {
  struct Case {
    const char* name;
    std::vector<Runtime> runtimes;
    std::vector<std::string> settings;
    const char* pairProduct;
    TextView expectedFolder;  // empty: nothing found
    bool handOver;
  };
  const Case cases[] = {
      {"no paired product: the 32-bit view is not searched",
       {{kJre, u"1.8.0_301", u"rt32", {kClient}, true}},
       {},
       "",
       u"",
       false},
      {"a paired product: the 32-bit runtime is handed over",
       {{kJre, u"1.8.0_301", u"rt32", {kClient}, true}},
       {},
       "koru32.exe",
       u"rt32",
       true},
      {"the native view comes first, even with an older runtime",
       {{kJre, u"1.8.0_301", u"rt32", {kClient}, true}, {kJre, u"1.6", u"rt64", {kClient}, false}},
       {},
       "koru32.exe",
       u"rt64",
       false},
      {"a native runtime outside the limits leaves the 32-bit view",
       {{kJre, u"1.8.0_301", u"rt32", {kClient}, true}, {kJre, u"1.6", u"rt64", {kClient}, false}},
       {"Minimum Version=1.7"},
       "koru32.exe",
       u"rt32",
       true},
      {"the 32-bit view has its own limits too",
       {{kJre, u"1.8.0_301", u"rt32", {kClient}, true}},
       {"Maximum Version=1.7"},
       "koru32.exe",
       u"",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    seam::clearRegistry();
    install(c.runtimes);
    JavaLauncher launcher;
    readSettings(launcher, c.settings, c.pairProduct);
    EXPECT_EQ(launcher.locateJavaRuntime(), !c.expectedFolder.empty());
    EXPECT_EQ(launcher.jvmLibraryPath, c.expectedFolder.empty()
                                           ? Text()
                                           : tree.path(c.expectedFolder) + u"\\" + Text(kClient));
    EXPECT_EQ(launcher.handOverToPairedProduct, c.handOver);
  }
}

// The registry is asked only after "JRE Path" and the private folder, and its limits do not
// apply to them.
TEST_F(RegistrySearch, ComesAfterJrePathAndThePrivateFolder) {
  install({{kJre, u"1.8", u"registry"}});
  tree.write(u"configured\\bin\\client\\jvm.dll");
  JavaLauncher configured;
  readSettings(configured, {"Minimum Version=1.9"});
  configured.jrePath = tree.path(u"configured");
  ASSERT_TRUE(configured.locateJavaRuntime());
  EXPECT_EQ(configured.jvmLibraryPath, tree.path(u"configured\\bin\\client\\jvm.dll"));

  tree.write(u"app\\bin\\java.dll");
  tree.write(u"app\\bin\\client\\jvm.dll");
  JavaLauncher privateFolder;
  readSettings(privateFolder, {});
  ASSERT_TRUE(privateFolder.locateJavaRuntime());
  EXPECT_EQ(privateFolder.jvmLibraryPath, tree.path(u"app\\bin\\client\\jvm.dll"));
}

}  // namespace
}  // namespace koru
