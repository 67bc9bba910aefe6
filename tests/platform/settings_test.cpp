// The settings store on real files.
#include "platform/settings.h"
#include "platform/runtime_error.h"
#include "scoped_environment.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using platform::GetSetting;
using platform::SaveSetting;
using platform::SettingsFile;

class SettingsTest : public ::testing::Test {
protected:
    QString ReadFile(const QString& application) const {
        QFile file(SettingsFile(application));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
        return QString::fromUtf8(file.readAll());
    }
    void WriteFile(const QByteArray& text) const {
        ASSERT_TRUE(QDir().mkpath(platform::SettingsFolder()));
        QFile file(SettingsFile(u"KS"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString Get(const char* section, const QString& key) const {
        return GetSetting(u"KS"_s, QString::fromUtf8(section), key, u"default"_s);
    }
    void Save(const char* section, const QString& key, const QString& value) const {
        SaveSetting(u"KS"_s, QString::fromUtf8(section), key, value);
    }

    QTemporaryDir dir_;
    ScopedEnvironment configHome_{"XDG_CONFIG_HOME", dir_.path().toUtf8()};
};

// Catches a value or key that the file's quoting, comments, sections, blanks or escapes change on the way.
TEST_F(SettingsTest, OddKeysAndValuesReadBackExactly) {
    // clang-format off
    const char* odd[] = {"a, b", "'x'", "\"q\"uote", "q\"", "\"", "\"\"", "=", "a=b=c", "#",
                         "[not a section]", "# not a comment", ";", "; nor this", "  both ends  ",
                         " leading", "trailing ", "   ", "", "Ünïcødé ☃ 日本語", "line1\nline2",
                         "cr\rand crlf\r\n", "tab\there", "C:\\KS\\Data\\", "\"a\\\"b\\n\""};
    // clang-format on
    int n = 0;
    for (const char* text : odd) {
        Save("Data", u"Key %1"_s.arg(n), QString::fromUtf8(text));
        Save("Keys", QString::fromUtf8(text), u"value %1"_s.arg(n++));
    }
    n = 0;
    for (const char* text : odd) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Get("Data", u"Key %1"_s.arg(n)), QString::fromUtf8(text));
        EXPECT_EQ(Get("Keys", QString::fromUtf8(text)), u"value %1"_s.arg(n++));
    }
}

// Catches plain values quoted, padded ones not, the wrong file name or folder, and a rewrite that drops
// comments, blank lines or other keys, or adds a section twice.
TEST_F(SettingsTest, PlainValuesAreWrittenRawAndARewriteKeepsTheRestOfTheFile) {
    WriteFile(
        "; Kestrane settings\n[Data]\n# the shared folder\nKS Data Path = /old/\nOther = kept\n\n"
        "; the next section\n[Settings]\nColour=blue\n");
    Save("data", u"ks data path"_s, u"/srv/ks/"_s);
    Save("Data", u"List"_s, u"a, 'b', c\"d"_s);
    Save("Data", u"Padded"_s, u" x"_s);
    Save("Fresh", u"Key"_s, u"v"_s);
    EXPECT_EQ(ReadFile(u"KS"_s),
              u"; Kestrane settings\n[Data]\n# the shared folder\nKS Data Path=/srv/ks/\n"
              u"Other = kept\nList=a, 'b', c\"d\nPadded=\" x\"\n\n; the next section\n"
              u"[Settings]\nColour=blue\n\n[Fresh]\nKey=v\n"_s);
    SaveSetting(u"Halvermoor Software"_s, u"Settings"_s, u"Use Local Data"_s, u"True"_s);
    EXPECT_EQ(ReadFile(u"Halvermoor Software"_s), u"[Settings]\nUse Local Data=True\n"_s);
    EXPECT_EQ(SettingsFile(u"Halvermoor Software"_s), dir_.path() + u"/Kestrane/Halvermoor Software.ini"_s);
    const ScopedEnvironment home("HOME", dir_.path().toUtf8()), noConfigHome("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(SettingsFile(u"KS"_s), dir_.path() + u"/.config/Kestrane/KS.ini"_s);
}

// Catches case-sensitive names, blanks or quotes kept, comments read as keys, and a missing file created.
TEST_F(SettingsTest, HandWrittenFileReadsAsMeant) {
    EXPECT_EQ(Get("Data", u"KS Data Path"_s), u"default"_s);
    EXPECT_EQ(GetSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s), QString());
    EXPECT_FALSE(QFile::exists(SettingsFile(u"KS"_s)));
    WriteFile(
        "\xEF\xBB\xBF; Kestrane settings\r\n# written by hand\r\n[ Data ]\r\n"
        "KS Data Path = /srv/ks/   \r\n  Users = \"a, b\"  \r\nWindows Path = \"C:\\KS\\Data\"\r\n"
        "Half quoted = \"open\r\nEmpty=\r\na line without an equals sign\r\n"
        "   ; an indented comment = not a key\r\n[Other]\r\nKS Data Path=/other/\r\n");
    // clang-format off
    const struct { const char* section; const char* key; QString expected; } cases[] = {
        {"Data", "KS Data Path", u"/srv/ks/"_s},
        {"data", "ks data path", u"/srv/ks/"_s},
        {"DATA", "USERS", u"a, b"_s},
        {"Data", "Windows Path", u"C:\\KS\\Data"_s},
        {"Data", "Half quoted", u"\"open"_s},
        {"Data", "Empty", QString()},
        {"Data", "; an indented comment", u"default"_s},
        {"Other", "KS Data Path", u"/other/"_s},
        {"Data", "Missing", u"default"_s},
        {"Missing", "KS Data Path", u"default"_s},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(Get(c.section, QString::fromUtf8(c.key)), c.expected) << c.section << "/" << c.key;
}

// Catches a store that cannot be written failing silently or with another error.
TEST_F(SettingsTest, UnwritableStoreRaisesPathFileAccessError) {
    QFile blocker(dir_.filePath(u"not-a-folder"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const ScopedEnvironment configHome("XDG_CONFIG_HOME", blocker.fileName().toUtf8());
    try {
        Save("Data", u"Key"_s, u"v"_s);
        FAIL() << "no error raised";
    } catch (const platform::RuntimeError& error) {
        EXPECT_EQ(QString::number(error.Number()) + u' ' + error.Description(),
                  u"75 Path/File access error"_s);
    }
}

}  // namespace
