#include "settings/settings_store.h"

#include <utility>

#include "platform/platform.h"

namespace koru {

namespace {

constexpr uint32_t kFirstBufferSize = 256;

const OverlaySection* findSection(const std::vector<OverlaySection>& sections, TextView name) {
  for (const OverlaySection& section : sections) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

// A section header: the first unit above a blank is "[" and the last one is a "]" after it.
bool isSectionHeader(TextView line) {
  size_t first = 0;
  while (first < line.size() && line[first] <= kBlank) ++first;
  size_t last = line.size();
  while (last > first && line[last - 1] <= kBlank) --last;
  return last - first >= 2 && line[first] == u'[' && line[last - 1] == u']';
}

}  // namespace

IniSettingsStore::IniSettingsStore(Text path) : path_(std::move(path)) {}

void IniSettingsStore::readValue(TextView section, TextView key, Text& value) {
  // A count of size - 1 means the value may have been cut to fit: ask again with more room.
  for (uint32_t size = kFirstBufferSize;; size *= 2) {
    Text buffer(size, u'\0');
    uint32_t count = readProfileString(section, key, path_, buffer.data(), size);
    if (count != size - 1) {
      buffer.resize(count < size ? count : 0);
      value = std::move(buffer);
      return;
    }
  }
}

void IniSettingsStore::listSections(TextList& sections) {
  // The list of names ends in two zeros; a cut list answers size - 2.
  Text buffer;
  uint32_t count = 0;
  for (uint32_t size = kFirstBufferSize;; size *= 2) {
    buffer.assign(size, u'\0');
    count = readProfileSectionNames(buffer.data(), size, path_);
    if (count != size - 2) break;
  }
  sections.clear();
  Text name;
  for (size_t i = 0; i <= count && i < buffer.size(); ++i) {
    if (buffer[i] != u'\0') {
      name.push_back(buffer[i]);
    } else if (!name.empty()) {
      sections.push_back(std::move(name));
      name.clear();
    }
  }
}

bool IniSettingsStore::writeValue(TextView section, TextView key, TextView value) {
  return writeProfileString(section, key, value, path_);
}

void SettingsOverlay::readValue(TextView section, TextView key, Text& value) {
  const OverlaySection* found = findSection(sections_, section);
  if (found == nullptr) return;
  for (const OverlayEntry& entry : found->entries) {
    if (entry.key == key) {
      value = entry.value;
      return;
    }
  }
}

void SettingsOverlay::listSections(TextList& sections) {
  sections.clear();
  for (const OverlaySection& section : sections_) sections.push_back(section.name);
}

bool SettingsOverlay::writeValue(TextView section, TextView key, TextView value) {
  OverlaySection* target = nullptr;
  for (OverlaySection& existing : sections_) {
    if (existing.name == section) {
      target = &existing;
      break;
    }
  }
  if (target == nullptr) {
    sections_.push_back(OverlaySection{Text(section), {}});
    target = &sections_.back();
  }
  // An earlier entry of the same key stays first and keeps answering lookups.
  target->entries.push_back(OverlayEntry{Text(key), Text(value)});
  return true;
}

void SettingsOverlay::parseSettingsText(TextView text) {
  sections_.clear();
  // Only CR LF ends a line; a lone CR or LF stays inside it.
  TextList lines = splitAtSeparator(text, u"\r\n");
  if (!lines.empty() && !lines.front().empty() && lines.front().front() == u'\xFEFF') {
    lines.front().erase(0, 1);
  }
  OverlaySection* current = nullptr;
  for (const Text& line : lines) {
    if (line.empty()) continue;
    if (isSectionHeader(line)) {
      size_t open = line.find(u'[');
      size_t close = line.rfind(u']');
      sections_.push_back(OverlaySection{line.substr(open + 1, close - open - 1), {}});
      current = &sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    size_t equals = line.find(u'=');
    if (equals == Text::npos) continue;
    current->entries.push_back(OverlayEntry{trimmed(TextView(line).substr(0, equals)),
                                            trimmed(TextView(line).substr(equals + 1))});
  }
}

LayeredSettings::LayeredSettings(Text path) : IniSettingsStore(std::move(path)) {}

void LayeredSettings::readValue(TextView section, TextView key, Text& value) {
  Text result;
  SettingsOverlay::readValue(section, key, result);

  Text fromFile;
  IniSettingsStore::readValue(section, key, fromFile);
  if (!fromFile.empty()) {
    value = std::move(fromFile);
    return;
  }

  Text appendSection(section);
  appendSection += u'+';
  Text appended;
  IniSettingsStore::readValue(appendSection, key, appended);
  if (!appended.empty()) {
    // The blank goes in even when nothing came before, so the value then starts with it.
    if (appended.front() != kBlank) result += kBlank;
    result += appended;
  }
  value = std::move(result);
}

void fillBuiltInSettings(LayeredSettings& settings) {
  settings.parseSettingsText(builtInSettingsText());
}

Text readSetting(SettingsStore& store, TextView section, TextView key) {
  Text value;
  store.readValue(section, key, value);
  return value;
}

Text readSetting(LayeredSettings& settings, TextView section, TextView key) {
  return readSetting(static_cast<IniSettingsStore&>(settings), section, key);
}

}  // namespace koru
