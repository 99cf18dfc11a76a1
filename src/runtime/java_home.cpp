#include "runtime/java_home.h"

#include <vector>

#include "platform/platform.h"

namespace koru {

namespace {

struct JvmLibraryName {
  TextView relativeName;
  bool server;
};

constexpr TextView kServerLibrary = u"bin\\server\\jvm.dll";

// The libraries a client (or favour-server without a server VM) home may offer, best first.
constexpr JvmLibraryName kClientProbes[] = {
    {u"bin\\client\\jvm.dll", false},  {u"bin\\classic\\jvm.dll", false},
    {u"bin\\hotspot\\jvm.dll", false}, {kServerLibrary, true},
    {u"bin\\jrockit\\jvm.dll", false},
};

constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint64_t kNtHeaderOffsetField = 0x3C;
constexpr size_t kPeSignatureAndFileHeader = 4 + 20;

uint16_t littleEndian16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t littleEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

bool pathExists(TextView path) {
  // A wildcard would let the search match some other entry; no file name holds one.
  if (path.find_first_of(u"*?") != TextView::npos) return false;
  return findsEntry(path);
}

bool isJavaHome(TextView home) { return pathExists(Text(home) + u"bin\\java.dll"); }

Text findJvmLibrary(TextView home, JvmType type, bool& server) {
  if (type == kJvmServer || type == kJvmFavorServer) {
    Text path = Text(home) + Text(kServerLibrary);
    if (pathExists(path)) {
      server = true;
      return path;
    }
    if (type == kJvmServer) return Text();
  }
  for (const JvmLibraryName& probe : kClientProbes) {
    Text path = Text(home) + Text(probe.relativeName);
    if (pathExists(path)) {
      server = probe.server;
      return path;
    }
  }
  return Text();
}

bool isX86Image(TextView path) {
  // The headers are read directly rather than through a helper library: only the DOS header's
  // pointer to the NT headers, the PE signature and the file header's machine field matter,
  // and every read is bounded by the file's own size, so a short or hostile file reads as
  // "not an x86 image": an NT header offset past the end, however large (a negative e_lfanew
  // included), fails the read. The whole file header must be present, not just its first field.
  std::vector<uint8_t> dosHeader;
  if (!readFileBytes(path, 0, kNtHeaderOffsetField + 4, dosHeader)) return false;
  if (littleEndian16(dosHeader, 0) != kDosSignature) return false;
  uint32_t ntHeaderOffset = littleEndian32(dosHeader, kNtHeaderOffsetField);
  std::vector<uint8_t> ntHeader;
  if (!readFileBytes(path, ntHeaderOffset, kPeSignatureAndFileHeader, ntHeader)) return false;
  return littleEndian32(ntHeader, 0) == kPeSignature && littleEndian16(ntHeader, 4) == kMachineI386;
}

}  // namespace koru
