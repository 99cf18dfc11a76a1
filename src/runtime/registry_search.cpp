#include "runtime/registry_search.h"

#include <algorithm>

#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "runtime/java_home.h"

namespace koru {

const RegistryTree kRegistryTrees[5] = {
    {u"Software\\JavaSoft\\Java Development Kit\\", true, &VmProvider::javaSoft, false},
    {u"Software\\JavaSoft\\Java Runtime Environment\\", false, &VmProvider::javaSoft, true},
    {u"Software\\JRockit\\Java Runtime Environment\\", false, &VmProvider::jRockit, false},
    {u"Software\\JRockit\\Java Development Kit\\", true, &VmProvider::jRockit, false},
    {u"Software\\IBM\\Java2 Runtime Environment\\", false, &VmProvider::ibm, false},
};

namespace {

bool isVisited(const JavaLauncher& launcher, const RegistryTree& tree) {
  const JvmSource& source = launcher.jvmSource;
  bool kindSearched = source.searchBothKinds || (tree.isJdk ? source.favourJdk : source.favourJre);
  const VmProvider::Vendor& vendor = launcher.vmProvider.*tree.vendor;
  return kindSearched && (vendor.accepted || vendor.favoured);
}

bool isFavoured(const JavaLauncher& launcher, const RegistryTree& tree) {
  bool kindFavoured = tree.isJdk ? launcher.jvmSource.favourJdk : launcher.jvmSource.favourJre;
  return kindFavoured && (launcher.vmProvider.*tree.vendor).favoured;
}

// An absent or empty "Maximum Version" reads as 0.0.0.0; like the runtime-not-found message,
// the filter takes it as no maximum rather than as a limit no installed runtime can meet.
bool isWithinLimits(const JavaLauncher& launcher, const JreVersion& version) {
  if (compareVersions(version, launcher.minimumVersion) < 0) return false;
  if (launcher.maximumVersion == JreVersion::all(0)) return true;
  return compareVersions(version, launcher.maximumVersion) <= 0;
}

// Whether `a` ranks strictly higher than `b`.
bool ranksHigher(const JavaLauncher& launcher, const JavaHomeCandidate& a,
                 const JavaHomeCandidate& b) {
  if (launcher.jvmSource.searchBothKinds && a.isFavoured != b.isFavoured) return a.isFavoured;
  if (launcher.jvmType == kJvmFavorServer && a.isServerVm != b.isServerVm) return a.isServerVm;
  return compareVersions(a.version, b.version) > 0;
}

}  // namespace

bool searchRegistryRuntimes(JavaLauncher& launcher, bool use32BitView, Text& javaHome) {
  // Only a paired product can host a 32-bit runtime.
  if (use32BitView && launcher.pairProduct.empty()) return false;
  CandidateList list;
  for (const RegistryTree& tree : kRegistryTrees) {
    if (isVisited(launcher, tree)) scanRegistryTree(launcher, tree, use32BitView, list);
  }
  if (list.empty()) return false;
  rankCandidates(launcher, list);
  javaHome = selectCandidate(launcher, list).javaHome;
  if (use32BitView) launcher.handOverToPairedProduct = true;
  return true;
}

void scanRegistryTree(const JavaLauncher& launcher, const RegistryTree& tree, bool use32BitView,
                      CandidateList& list) {
  for (const Text& name : registrySubkeyNames(tree.path, use32BitView)) {
    JreVersion version;
    parseVersion(name, 0, version);
    if (!isWithinLimits(launcher, version)) continue;
    bool server = false;
    Text home = readRegistryJavaHome(launcher, tree, name, use32BitView, server);
    if (home.empty()) continue;
    list.push_back(JavaHomeCandidate{version, std::move(home), server, isFavoured(launcher, tree)});
  }
}

Text readRegistryJavaHome(const JavaLauncher& launcher, const RegistryTree& tree, TextView name,
                          bool use32BitView, bool& isServerVm) {
  Text home;
  // An empty text names no folder at all; it would otherwise make the probes relative to the
  // current folder.
  if (!readRegistryText(Text(tree.path) + Text(name), u"JavaHome", use32BitView, home) ||
      home.empty()) {
    return Text();
  }
  if (home.back() != u'\\') home += u'\\';
  if (tree.isJdk) home += u"jre\\";
  JvmType probeType = launcher.jvmType;
  if (tree.clientForFavorServer && probeType == kJvmFavorServer) probeType = kJvmClient;
  if (findJvmLibrary(home, probeType, isServerVm).empty()) return Text();
  return home;
}

void rankCandidates(const JavaLauncher& launcher, CandidateList& list) {
  std::stable_sort(list.begin(), list.end(),
                   [&launcher](const JavaHomeCandidate& a, const JavaHomeCandidate& b) {
                     return ranksHigher(launcher, a, b);
                   });
}

const JavaHomeCandidate& selectCandidate(const JavaLauncher& launcher, const CandidateList& list) {
  for (const Text& entry : launcher.preferredVersions) {
    JreVersion preferred;
    parseVersion(entry, 0, preferred);
    for (const JavaHomeCandidate& candidate : list) {
      if (matchesPreferred(candidate.version, preferred)) return candidate;
    }
  }
  return list.front();
}

}  // namespace koru
