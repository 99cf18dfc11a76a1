#include "launcher/command_line.h"

#include "launcher/java_launcher.h"
#include "platform/platform.h"

namespace koru {

TextList splitArguments(TextView text) {
  TextList tokens;
  size_t position = 0;
  while (position < text.size()) {
    size_t end;
    if (text[position] == u'"') {
      size_t close = text.find(u'"', position + 1);
      if (close == TextView::npos) {
        tokens.emplace_back(text.substr(position + 1));
        break;
      }
      tokens.emplace_back(text.substr(position + 1, close - position - 1));
      end = close + 1;
    } else {
      size_t blank = text.find(kBlank, position);
      if (blank == TextView::npos) {
        tokens.emplace_back(text.substr(position));
        break;
      }
      tokens.emplace_back(text.substr(position, blank - position));
      end = blank;
    }
    // After a closing quote the next token may start at once; otherwise skip the blanks.
    position = text.find_first_not_of(kBlank, end);
    if (position == TextView::npos) break;
  }
  return tokens;
}

void JavaLauncher::parseCommandLine() {
  TextList tokens = splitArguments(trimmed(processCommandLine()));
  if (tokens.empty()) return;
  arguments.insert(arguments.end(), tokens.begin() + 1, tokens.end());
}

}  // namespace koru
