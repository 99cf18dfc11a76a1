#include "jvm/jvm_options.h"

#include "jvm/memory_options.h"
#include "launcher/command_line.h"
#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "settings/launcher_settings.h"
#include "settings/settings_paths.h"
#include "settings/settings_store.h"
#include "support/messages.h"
#include "support/paths.h"

namespace koru {

namespace {

constexpr char16_t kQuote = u'"';

bool isSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

size_t skipBlanks(TextView text, size_t position) {
  while (position < text.size() && text[position] == kBlank) ++position;
  return position;
}

// Quotes removed, a share of memory turned into kilobytes, and the stack size taken from the
// last "-Xss" parameter.
Text processVmParameter(TextView raw, uint64_t& threadStackSize) {
  Text parameter(raw);
  removeQuotes(parameter);
  if (isMemoryForm(parameter)) rewriteMemoryForm(parameter);
  if (startsWith(parameter, u"-Xss")) threadStackSize = parseStackSize(TextView(parameter).substr(4));
  return parameter;
}

Text buildClassPath(TextView setting) {
  Text classPath;
  for (Text& piece : splitAtSeparator(setting, u";")) {
    expandEnvironment(piece);
    // An absolute piece without a wildcard is taken as written: a missing archive is left to
    // the JVM, like any other class path entry it cannot open.
    if (isAbsolutePath(piece) && piece.find(u'*') == Text::npos) {
      classPath += piece;
      classPath += u';';
    } else {
      resolveClassPathEntry(piece, classPath);
    }
  }
  return classPath;
}

}  // namespace

bool assembleJvmOptions(JavaLauncher& launcher) {
  Text settingsPath;
  if (!settingsFilePath(settingsPath)) return false;
  LayeredSettings settings(settingsPath);
  fillBuiltInSettings(settings);

  Text classPath = buildClassPath(readSetting(settings, kSectionClassPath, u"Class Path"));
  if (isYes(readSetting(settings, kSectionApplication, u"Embedded Jar"))) {
    // The executable carries the application's archive after its image; the JVM's archive
    // reader finds it from the end record and treats the image as a prefix.
    Text executable;
    if (modulePath(executable)) {
      if (!classPath.empty() && !endsWith(classPath, u";")) classPath += u';';
      classPath += executable;
    }
  }
  if (classPath.empty()) {
    reportError(loadMessage(kClassPathMissing));
    return false;
  }

  // The class path pieces were expanded one by one; the names the file system returned and the
  // executable's path are taken literally, so the class path option is not expanded again.
  launcher.jvmOptions.push_back(toNarrow(u"-Djava.class.path=" + classPath));
  TextList parameters;
  splitVmParameters(readSetting(settings, kSectionRuntime, u"Virtual Machine Parameters"),
                    parameters, launcher.threadStackSize);
  for (Text& parameter : parameters) {
    expandEnvironment(parameter);
    launcher.jvmOptions.push_back(toNarrow(parameter));
  }

  launcher.outputFile = readSetting(settings, kSectionApplication, u"Output File");
  if (!launcher.outputFile.empty()) expandEnvironment(launcher.outputFile);
  launcher.errorFile = readSetting(settings, kSectionApplication, u"Error File");
  if (!launcher.errorFile.empty()) expandEnvironment(launcher.errorFile);

  launcher.cmdText = readSetting(settings, kSectionApplication, u"Cmd");
  if (!launcher.cmdText.empty()) {
    expandEnvironment(launcher.cmdText);
    for (Text& token : splitArguments(launcher.cmdText)) {
      if (!token.empty()) launcher.arguments.push_back(std::move(token));
    }
  }
  return true;
}

void expandEnvironment(Text& text) {
  Text expanded;
  if (expandEnvironmentStrings(text, expanded)) text = std::move(expanded);
}

Text executableFolder() {
  Text path;
  if (!modulePath(path)) return Text();
  return folderWithoutSeparator(path);
}

void resolveClassPathEntry(TextView piece, Text& classPath) {
  Text searchPath;
  if (isAbsolutePath(piece)) {
    searchPath = Text(piece);
  } else {
    // A relative piece names something in the executable's folder, usually written with a
    // leading backslash (\lib\app.jar). One written without it (lib\app.jar) gets the
    // separator, so it is not glued to the folder's name; the empty piece names the folder
    // itself. When the folder cannot be named (already reported), the piece is dropped rather
    // than searched from the root of the current drive.
    Text folder = executableFolder();
    if (folder.empty()) return;
    searchPath = folder;
    if (!piece.empty() && !isSeparator(piece.front())) searchPath += u'\\';
    searchPath += piece;
  }
  // Windows takes '/' as a separator too, so the folder of the matches ends at either one.
  Text prefix = searchPath.substr(0, searchPath.find_last_of(u"\\/") + 1);
  // Every match counts, folders included, in the order the file system lists them.
  for (const Text& name : findEntryNames(searchPath)) {
    classPath += prefix;
    classPath += name;
    classPath += u';';
  }
}

void splitVmParameters(TextView text, TextList& parameters, uint64_t& threadStackSize) {
  // A text of blanks alone gives no parameter: an empty option would make the JVM refuse to
  // start.
  size_t position = skipBlanks(text, 0);
  while (position < text.size()) {
    size_t end = findParameterEnd(text, position);
    parameters.push_back(processVmParameter(text.substr(position, end - position), threadStackSize));
    position = skipBlanks(text, end);
  }
}

size_t findParameterEnd(TextView text, size_t start) {
  size_t blank = text.find(kBlank, start);
  size_t quote = text.find(kQuote, start);
  for (;;) {
    if (quote == TextView::npos) return blank == TextView::npos ? text.size() : blank;
    if (blank == TextView::npos) return text.size();
    if (blank < quote) return blank;
    size_t closing = text.find(kQuote, quote + 1);
    // An unclosed quote does not group blanks.
    if (closing == TextView::npos) return blank;
    if (closing + 1 < text.size() && text[closing + 1] == kQuote) ++closing;
    blank = text.find(kBlank, closing + 1);
    quote = text.find(kQuote, closing + 1);
  }
}

void removeQuotes(Text& text) {
  size_t position = 0;
  for (;;) {
    size_t opening = text.find(kQuote, position);
    if (opening == Text::npos) return;
    size_t closing = text.find(kQuote, opening + 1);
    // A lone quote stays where it is.
    if (closing == Text::npos) return;
    // Of two quotes in a row, the second one closes and the first one is content.
    if (closing + 1 < text.size() && text[closing + 1] == kQuote) ++closing;
    text.erase(closing, 1);
    text.erase(opening, 1);
    // The kept content now ends just before the closing quote's old place, shifted by one.
    position = closing - 1;
  }
}

}  // namespace koru
