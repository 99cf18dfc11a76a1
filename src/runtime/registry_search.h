// The registry search: the Java runtimes installed under HKEY_LOCAL_MACHINE, filtered by the
// version limits, ranked by the "JVM Source", "VM Provider" and "JVM Type" settings, and one
// selected with "Preferred versions". Nothing here reports a message: a tree, subkey or Java
// home that yields nothing drops out silently.
#pragma once

#include <vector>

#include "runtime/jre_version.h"
#include "runtime/runtime_choice.h"
#include "support/text.h"

namespace koru {

class JavaLauncher;

/// One installed runtime found in the registry.
struct JavaHomeCandidate {
  JreVersion version;       // read from the version subkey's name
  Text javaHome;            // ends with a backslash
  bool isServerVm = false;  // the library found while probing is bin\server\jvm.dll
  bool isFavoured = false;  // its tree's kind and vendor are the favoured ones
};

using CandidateList = std::vector<JavaHomeCandidate>;

/// A vendor tree under HKEY_LOCAL_MACHINE.
struct RegistryTree {
  TextView path;  // ends with a backslash
  bool isJdk;     // the Java home is the "JavaHome" folder + "jre\"
  VmProvider::Vendor VmProvider::*vendor;
  bool clientForFavorServer;  // probed as client when "JVM Type" is favor_server
};

/// The five trees, in the order a pass visits them.
extern const RegistryTree kRegistryTrees[5];

/// One registry pass in the native or the 32-bit view. The 32-bit pass runs only with a paired
/// product, and a runtime it selects sets `handOverToPairedProduct`. Answers whether a runtime
/// was selected, with its Java home in `javaHome`.
bool searchRegistryRuntimes(JavaLauncher& launcher, bool use32BitView, Text& javaHome);

/// Appends to `list` the runtimes of `tree` within the version limits that hold a usable JVM
/// library, in the order the registry enumerates them.
void scanRegistryTree(const JavaLauncher& launcher, const RegistryTree& tree, bool use32BitView,
                      CandidateList& list);

/// The Java home named by the "JavaHome" value of the version subkey `name`, or empty when the
/// value is missing, empty or names no home with a JVM library usable for the tree's probe
/// type. `isServerVm` is set when the library found is the server VM.
Text readRegistryJavaHome(const JavaLauncher& launcher, const RegistryTree& tree, TextView name,
                          bool use32BitView, bool& isServerVm);

/// Orders the list, highest rank first, keeping discovery order among equals: favoured first
/// (only when both kinds are searched), server first (only with favor_server), then the higher
/// version.
void rankCandidates(const JavaLauncher& launcher, CandidateList& list);

/// The first candidate of the ranked, non-empty list that the first satisfiable entry of
/// "Preferred versions" asks for, else the first candidate.
const JavaHomeCandidate& selectCandidate(const JavaLauncher& launcher, const CandidateList& list);

}  // namespace koru
