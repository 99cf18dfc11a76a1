// Path text operations. Paths are Windows paths with backslash separators; nothing here
// touches the file system.
#pragma once

#include "support/text.h"

namespace koru {

/// The text up to and including its last backslash (empty when it has none).
Text folderWithSeparator(TextView path);

/// The text before its last backslash (the whole text when it has none).
Text folderWithoutSeparator(TextView path);

/// The text after its last backslash (the whole text when it has none).
Text afterLastBackslash(TextView path);

/// The path with a backslash appended unless it ends with one.
Text withTrailingBackslash(TextView path);

/// Cuts the text before its last backslash, `cuts` times over; a cut with no backslash left
/// changes nothing.
Text stripPathComponents(TextView path, int cuts);

/// The root first (when there is one), then every folder name, then the file name. Handles the
/// "\\?\" prefix, UNC roots (\\server) and paths rooted at the current drive (empty root: the
/// components are the pieces after the backslash alone).
TextList splitPathComponents(TextView path);

/// Whether a path names its own root: at least 2 units, with ':' as the second unit (C:...) or
/// two leading backslashes (\\server\share, \\?\...). Everything else is relative, including
/// a path rooted at the current drive (\lib).
bool isAbsolutePath(TextView path);

}  // namespace koru
