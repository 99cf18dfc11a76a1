#include "support/paths.h"

namespace koru {

Text folderWithSeparator(TextView path) {
  size_t at = path.rfind(u'\\');
  return at == TextView::npos ? Text() : Text(path.substr(0, at + 1));
}

Text folderWithoutSeparator(TextView path) {
  size_t at = path.rfind(u'\\');
  return Text(at == TextView::npos ? path : path.substr(0, at));
}

Text afterLastBackslash(TextView path) {
  size_t at = path.rfind(u'\\');
  return Text(at == TextView::npos ? path : path.substr(at + 1));
}

Text withTrailingBackslash(TextView path) {
  Text result(path);
  if (!endsWith(result, u"\\")) result.push_back(u'\\');
  return result;
}

Text stripPathComponents(TextView path, int cuts) {
  Text result(path);
  for (int i = 0; i < cuts; ++i) result = folderWithoutSeparator(result);
  return result;
}

TextList splitPathComponents(TextView path) {
  constexpr TextView kLongPrefix = u"\\\\?\\";
  Text prefix;
  if (startsWith(path, kLongPrefix)) {
    prefix = Text(kLongPrefix);
    path.remove_prefix(kLongPrefix.size());
  }
  bool unc = path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?';
  size_t rootEnd = path.find(u'\\', unc ? 2 : 0);
  if (rootEnd == TextView::npos) rootEnd = path.size();

  TextList components;
  Text root = prefix + Text(path.substr(0, rootEnd));
  // A path rooted at the current drive has an empty root: its first folder takes the root's
  // place, so folders are created relative to the current folder.
  if (!root.empty()) components.push_back(root);
  if (rootEnd < path.size()) {
    for (Text& piece : splitAtSeparator(path.substr(rootEnd + 1), u"\\")) {
      components.push_back(std::move(piece));
    }
  }
  return components;
}

bool isAbsolutePath(TextView path) {
  return path.size() >= 2 && (path[1] == u':' || (path[0] == u'\\' && path[1] == u'\\'));
}

}  // namespace koru
