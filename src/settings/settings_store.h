// Settings sources: one INI file, the built-in settings table, and the layered lookup that
// joins them with the INI file's "+" append sections.
#pragma once

#include "support/text.h"

namespace koru {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  /// Reads one value; what an absent value leaves in `value` is the source's own rule.
  virtual void readValue(TextView section, TextView key, Text& value) = 0;
  /// Replaces `sections` with the section names in source order.
  virtual void listSections(TextList& sections) = 0;
  virtual bool writeValue(TextView section, TextView key, TextView value) = 0;
};

/// One INI file read through the profile functions (names match without regard to case).
class IniSettingsStore : public SettingsStore {
 public:
  explicit IniSettingsStore(Text path);
  /// The value, or empty for an absent key, section or file; long values are read in full.
  void readValue(TextView section, TextView key, Text& value) override;
  void listSections(TextList& sections) override;
  bool writeValue(TextView section, TextView key, TextView value) override;
  const Text& path() const { return path_; }

 private:
  Text path_;
};

struct OverlayEntry {
  Text key;
  Text value;
};

struct OverlaySection {
  Text name;
  std::vector<OverlayEntry> entries;
};

/// The built-in settings table: ordered sections and entries, exact matching, first match wins.
class SettingsOverlay : public SettingsStore {
 public:
  /// Found: `value` becomes the entry's value; not found: `value` is left unchanged.
  void readValue(TextView section, TextView key, Text& value) override;
  void listSections(TextList& sections) override;
  /// Appends (key, value) to the first section of that name, or to a new section at the end.
  bool writeValue(TextView section, TextView key, TextView value) override;
  /// Replaces the table with the content of a settings text (CR LF lines, [section], key=value).
  void parseSettingsText(TextView text);
  const std::vector<OverlaySection>& sections() const { return sections_; }

 private:
  std::vector<OverlaySection> sections_;
};

/// Built-in table, then the INI value (which wins and ends the lookup), else the "+" append
/// section's value added after one blank. listSections and writeValue are those of the base
/// they are reached through.
class LayeredSettings : public IniSettingsStore, public SettingsOverlay {
 public:
  explicit LayeredSettings(Text path);
  void readValue(TextView section, TextView key, Text& value) override;
};

/// The settings text the launcher carries inside itself; empty when it carries none.
Text builtInSettingsText();

/// Fills the built-in table of `settings` from builtInSettingsText; each reader builds its own
/// LayeredSettings, fills it once and discards it.
void fillBuiltInSettings(LayeredSettings& settings);

/// Reads one value starting from an empty text.
Text readSetting(SettingsStore& store, TextView section, TextView key);
/// The same through the layered lookup (either base of LayeredSettings would do).
Text readSetting(LayeredSettings& settings, TextView section, TextView key);

}  // namespace koru
