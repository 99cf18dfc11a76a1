#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_test_folder.h"

namespace koru {
namespace {

using IniStore = SettingsTestFolder;

TEST_F(IniStore, LongValuesAreReadInFull) {
  for (size_t length : {0, 1, 254, 255, 256, 510, 511, 512, 3000}) {
    SCOPED_TRACE(length);
    std::string value(length, 'v');
    if (length > 0) value.back() = 'E';
    writeFile(u"App.ini", "[S]\nk=" + value + "\n");
    IniSettingsStore store(path(u"App.ini"));
    EXPECT_EQ(readSetting(store, u"S", u"k"), fromUtf8(value));
  }
}

TEST_F(IniStore, AbsentAndCaseInsensitiveLookups) {
  writeFile(u"App.ini", "[Java Runtime Environment]\nMain Class=a.B\n");
  IniSettingsStore store(path(u"App.ini"));
  EXPECT_EQ(readSetting(store, u"java runtime ENVIRONMENT", u"MAIN class"), u"a.B");
  EXPECT_EQ(readSetting(store, u"Java Runtime Environment", u"Other"), u"");
  EXPECT_EQ(readSetting(store, u"Other", u"Main Class"), u"");

  IniSettingsStore missing(path(u"Missing.ini"));
  Text value = u"stale";
  missing.readValue(u"Java Runtime Environment", u"Main Class", value);
  EXPECT_EQ(value, u"");
}

TEST_F(IniStore, ListsEverySectionInFileOrderHoweverLongTheList) {
  std::string content;
  TextList expected;
  for (int i = 0; i < 60; ++i) {
    std::string name = "Section number " + std::to_string(i);
    content += "[" + name + "]\nk=v\n";
    expected.push_back(fromUtf8(name));
  }
  writeFile(u"App.ini", content);
  IniSettingsStore store(path(u"App.ini"));
  TextList sections = {u"stale"};
  store.listSections(sections);
  EXPECT_EQ(sections, expected);

  IniSettingsStore missing(path(u"Missing.ini"));
  missing.listSections(sections);
  EXPECT_TRUE(sections.empty());
}

TEST_F(IniStore, WritesAreReadBack) {
  IniSettingsStore store(path(u"App.ini"));
  EXPECT_TRUE(store.writeValue(u"Java Runtime Environment", u"JRE Path", u"C:\\jre"));
  EXPECT_EQ(readSetting(store, u"Java Runtime Environment", u"JRE Path"), u"C:\\jre");
}

struct ParseCase {
  const char* what;
  TextView text;
  std::vector<OverlaySection> sections;
};

// One line per section, every key and value in angle brackets.
std::string describe(const std::vector<OverlaySection>& sections) {
  std::string out;
  for (const OverlaySection& section : sections) {
    out += "[" + toUtf8(section.name) + "]";
    for (const OverlayEntry& entry : section.entries) {
      out += " <" + toUtf8(entry.key) + ">=<" + toUtf8(entry.value) + ">";
    }
    out += "\n";
  }
  return out;
}

TEST(SettingsOverlay, ParsesCrLfLinesHeadersAndEntries) {
  const ParseCase cases[] = {
      {"empty text", u"", {}},
      {"plain", u"[A]\r\nk=v\r\n[B]\r\nx=1", {{u"A", {{u"k", u"v"}}}, {u"B", {{u"x", u"1"}}}}},
      {"byte order mark", u"\xFEFF[A]\r\nk=v", {{u"A", {{u"k", u"v"}}}}},
      {"mark only on the first line", u"[A]\r\n\xFEFFk=v", {{u"A", {{u"\xFEFFk", u"v"}}}}},
      {"LF alone ends no line", u"[A]\nk=v\n", {}},
      {"lone CR stays in the value", u"[A]\r\nk=v\rw\r\n", {{u"A", {{u"k", u"v\rw"}}}}},
      {"blanks inside brackets kept, outside ignored",
       u" \t[ Application ]  \r\nk=v",
       {{u" Application ", {{u"k", u"v"}}}}},
      {"name runs to the last bracket", u"[a]b]\r\n[x=y]", {{u"a]b", {}}, {u"x=y", {}}}},
      {"not a header", u"[A]\r\n[B] c\r\nx[C]\r\nk=v", {{u"A", {{u"k", u"v"}}}}},
      {"a lone bracket is no header", u"[\r\n]\r\n[]\r\nk=v", {{u"", {{u"k", u"v"}}}}},
      {"entries before any section", u"k=v\r\n[A]\r\nj=w", {{u"A", {{u"j", u"w"}}}}},
      {"line without equals", u"[A]\r\nnothing here\r\nk=v", {{u"A", {{u"k", u"v"}}}}},
      {"first equals splits, white space trimmed",
       u"[A]\r\n \t key\v = a = b \f\r\n",
       {{u"A", {{u"key", u"a = b"}}}}},
      {"empty key and empty value", u"[A]\r\n=v\r\nk=", {{u"A", {{u"", u"v"}, {u"k", u""}}}}},
      {"no comment syntax", u"[A]\r\n;k=v\r\n#j=w", {{u"A", {{u";k", u"v"}, {u"#j", u"w"}}}}},
      {"repeated sections and keys kept",
       u"[A]\r\nk=1\r\nk=2\r\n[A]\r\nk=3",
       {{u"A", {{u"k", u"1"}, {u"k", u"2"}}}, {u"A", {{u"k", u"3"}}}}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.what);
    SettingsOverlay overlay;
    overlay.parseSettingsText(u"[Old]\r\nold=1");
    overlay.parseSettingsText(c.text);
    EXPECT_EQ(describe(overlay.sections()), describe(c.sections));
  }
}

TEST(SettingsOverlay, LookupsMatchExactlyAndTakeTheFirstMatch) {
  SettingsOverlay overlay;
  overlay.parseSettingsText(u"[A]\r\nk=1\r\nk=2\r\n[A]\r\nk=3\r\nj=4\r\n[B]\r\nk=5");

  EXPECT_EQ(readSetting(overlay, u"A", u"k"), u"1");
  EXPECT_EQ(readSetting(overlay, u"B", u"k"), u"5");
  // Only the first section of a name is searched.
  EXPECT_EQ(readSetting(overlay, u"A", u"j"), u"");
  Text value = u"kept";
  overlay.readValue(u"a", u"k", value);
  overlay.readValue(u"A", u"K", value);
  overlay.readValue(u"A", u"j", value);
  EXPECT_EQ(value, u"kept");

  TextList sections;
  overlay.listSections(sections);
  EXPECT_EQ(sections, (TextList{u"A", u"A", u"B"}));
}

TEST(SettingsOverlay, WritesAppendAndNeverReplace) {
  SettingsOverlay overlay;
  overlay.parseSettingsText(u"[A]\r\nk=1\r\n[A]\r\n[B]");
  EXPECT_TRUE(overlay.writeValue(u"A", u"k", u"2"));
  EXPECT_TRUE(overlay.writeValue(u"A", u"j", u"3"));
  EXPECT_TRUE(overlay.writeValue(u"C", u"k", u"4"));
  const std::vector<OverlaySection> expected = {{u"A", {{u"k", u"1"}, {u"k", u"2"}, {u"j", u"3"}}},
                                                {u"A", {}},
                                                {u"B", {}},
                                                {u"C", {{u"k", u"4"}}}};
  EXPECT_EQ(describe(overlay.sections()), describe(expected));
  EXPECT_EQ(readSetting(overlay, u"A", u"k"), u"1");
}

using Layered = SettingsTestFolder;

TEST_F(Layered, BuiltInThenFileThenAppendSection) {
  struct Case {
    const char* what;
    TextView builtIn;
    std::string ini;
    TextView expected;
  };
  const Case cases[] = {
      {"built-in, then appended", u"[App]\r\nk=A", "[App+]\nk=B\n", u"A B"},
      {"appended value with its own blank", u"[App]\r\nk=A", "[App+]\nk=\" B\"\n", u"A B"},
      {"appended to nothing still gets the blank", u"", "[App+]\nk=B\n", u" B"},
      {"appended to an empty built-in value", u"[App]\r\nk=", "[App+]\nk=B\n", u" B"},
      {"file value wins and ends the lookup", u"[App]\r\nk=A", "[App]\nk=C\n[App+]\nk=B\n", u"C"},
      {"empty built-in value alone", u"[App]\r\nk=", "", u""},
      {"built-in value alone", u"[App]\r\nk=A", "[App]\nj=x\n", u"A"},
      {"empty file value does not hide the built-in one", u"[App]\r\nk=A", "[App]\nk=\n", u"A"},
      {"append section name matches without case", u"[App]\r\nk=A", "[APP+]\nK=B\n", u"A B"},
      {"built-in section name is case-sensitive", u"[app]\r\nk=A", "", u""},
      {"built-in key is case-sensitive", u"[App]\r\nK=A", "", u""},
      {"file lookup is not", u"[App]\r\nk=A", "[aPP]\nK=C\n", u"C"},
      {"built-in append section is never read", u"[App+]\r\nk=B", "", u""},
      {"blanks inside built-in brackets", u"[ App ]\r\nk=A", "", u""},
      {"second built-in section of a name", u"[App]\r\nj=1\r\n[App]\r\nk=A", "", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(u"App.ini", c.ini);
    LayeredSettings settings(path(u"App.ini"));
    settings.parseSettingsText(c.builtIn);
    Text value = u"stale";
    settings.readValue(u"App", u"k", value);
    EXPECT_EQ(value, c.expected);
  }
}

TEST_F(Layered, EachBaseReadsLayeredButListsAndWritesItsOwnSource) {
  writeFile(u"App.ini", "[App+]\nk=B\n[File]\nx=1\n");
  LayeredSettings settings(path(u"App.ini"));
  settings.parseSettingsText(u"[App]\r\nk=A");

  IniSettingsStore& ini = settings;
  SettingsOverlay& overlay = settings;
  EXPECT_EQ(readSetting(ini, u"App", u"k"), u"A B");
  EXPECT_EQ(readSetting(overlay, u"App", u"k"), u"A B");

  TextList sections;
  ini.listSections(sections);
  EXPECT_EQ(sections, (TextList{u"App+", u"File"}));
  overlay.listSections(sections);
  EXPECT_EQ(sections, (TextList{u"App"}));

  EXPECT_TRUE(overlay.writeValue(u"Mem", u"m", u"1"));
  EXPECT_EQ(readSetting(ini, u"Mem", u"m"), u"1");
  EXPECT_TRUE(ini.writeValue(u"Disk", u"d", u"2"));
  EXPECT_EQ(readSetting(settings, u"Disk", u"d"), u"2");
  IniSettingsStore file(path(u"App.ini"));
  EXPECT_EQ(readSetting(file, u"Mem", u"m"), u"");
  EXPECT_EQ(readSetting(file, u"Disk", u"d"), u"2");
}

TEST_F(Layered, FillingFromTheLauncherReplacesTheTable) {
  LayeredSettings settings(path(u"App.ini"));
  settings.parseSettingsText(u"[App]\r\nk=A");
  fillBuiltInSettings(settings);
  // The launcher carries no settings text, so the table is empty afterwards.
  EXPECT_EQ(builtInSettingsText(), u"");
  EXPECT_TRUE(settings.sections().empty());
  EXPECT_EQ(readSetting(settings, u"App", u"k"), u"");
}

}  // namespace
}  // namespace koru
