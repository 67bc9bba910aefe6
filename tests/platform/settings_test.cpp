// The settings store: odd keys and values read back exactly, hand-written files read as meant, and a write
// keeps everything else in the file.
#include "platform/settings.h"
#include "platform/runtime_error.h"
#include "scoped_environment.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
        QFile file(SettingsFile(QStringLiteral("KS")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString Get(const char* section, const QString& key) const {
        return GetSetting(QStringLiteral("KS"), QString::fromUtf8(section), key, QStringLiteral("default"));
    }
    void Save(const char* section, const QString& key, const QString& value) const {
        SaveSetting(QStringLiteral("KS"), QString::fromUtf8(section), key, value);
    }

    QTemporaryDir dir_;
    ScopedEnvironment configHome_{"XDG_CONFIG_HOME", dir_.path().toUtf8()};
};

// Catches a value or key that the file's quoting, comments, sections, blanks or escapes change on the way.
TEST_F(SettingsTest, OddKeysAndValuesReadBackExactly) {
    const char* odd[] = {"a, b", "'x'", "\"q\"uote", "q\"", "\"", "\"\"", "=", "a=b=c", "#", "# not a comment",
                         ";", "; nor this", "  both ends  ", " leading", "trailing ", "   ", "",
                         "Ünïcødé ☃ 日本語", "line1\nline2", "cr\rand crlf\r\n", "tab\there", "C:\\KS\\Data\\",
                         "\"a\\\"b\\n\"", "[not a section]"};
    int n = 0;
    for (const char* text : odd) {
        Save("Data", QStringLiteral("Key %1").arg(n), QString::fromUtf8(text));
        Save("Keys", QString::fromUtf8(text), QStringLiteral("value %1").arg(n++));
    }
    n = 0;
    for (const char* text : odd) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Get("Data", QStringLiteral("Key %1").arg(n)), QString::fromUtf8(text));
        EXPECT_EQ(Get("Keys", QString::fromUtf8(text)), QStringLiteral("value %1").arg(n++));
    }
}

// Catches plain values quoted, padded ones not, and the wrong file name or folder.
TEST_F(SettingsTest, PlainValuesAreWrittenRawInTheApplicationsFile) {
    Save("Data", QStringLiteral("KS Data Path"), QStringLiteral("/srv/ks/"));
    Save("Data", QStringLiteral("List"), QStringLiteral("a, 'b', c\"d"));
    Save("Data", QStringLiteral("Padded"), QStringLiteral(" x"));
    EXPECT_EQ(ReadFile(QStringLiteral("KS")),
              QStringLiteral("[Data]\nKS Data Path=/srv/ks/\nList=a, 'b', c\"d\nPadded=\" x\"\n"));
    SaveSetting(QStringLiteral("Halvermoor Software"), QStringLiteral("Settings"),
                QStringLiteral("Use Local Data"), QStringLiteral("True"));
    EXPECT_EQ(SettingsFile(QStringLiteral("Halvermoor Software")),
              dir_.path() + QStringLiteral("/Kestrane/Halvermoor Software.ini"));
    EXPECT_EQ(ReadFile(QStringLiteral("Halvermoor Software")),
              QStringLiteral("[Settings]\nUse Local Data=True\n"));
    const ScopedEnvironment home("HOME", dir_.path().toUtf8()), noConfigHome("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(SettingsFile(QStringLiteral("KS")), dir_.path() + QStringLiteral("/.config/Kestrane/KS.ini"));
}

// Catches case-sensitive names, blanks or quotes kept, comments read as keys, and a missing file created.
TEST_F(SettingsTest, HandWrittenFileReadsAsMeant) {
    EXPECT_EQ(Get("Data", QStringLiteral("KS Data Path")), QStringLiteral("default"));
    EXPECT_EQ(GetSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("KS Data Path")),
              QString());
    EXPECT_FALSE(QFile::exists(SettingsFile(QStringLiteral("KS"))));
    WriteFile(
        "\xEF\xBB\xBF; Kestrane settings\r\n# written by hand\r\n[ Data ]\r\n"
        "KS Data Path = /srv/ks/   \r\n  Users = \"a, b\"  \r\nWindows Path = \"C:\\KS\\Data\"\r\n"
        "Half quoted = \"open\r\nEmpty=\r\na line without an equals sign\r\n"
        "   ; an indented comment = not a key\r\n[Other]\r\nKS Data Path=/other/\r\n");
    const struct {
        const char* section;
        const char* key;
        QString expected;
    } cases[] = {
        {"Data", "KS Data Path", QStringLiteral("/srv/ks/")},
        {"data", "ks data path", QStringLiteral("/srv/ks/")},
        {"DATA", "USERS", QStringLiteral("a, b")},
        {"Data", "Windows Path", QStringLiteral("C:\\KS\\Data")},
        {"Data", "Half quoted", QStringLiteral("\"open")},
        {"Data", "Empty", QString()},
        {"Data", "; an indented comment", QStringLiteral("default")},
        {"Other", "KS Data Path", QStringLiteral("/other/")},
        {"Data", "Missing", QStringLiteral("default")},
        {"Missing", "KS Data Path", QStringLiteral("default")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Get(c.section, QString::fromUtf8(c.key)), c.expected) << c.section << "/" << c.key;
}

// Catches a rewrite that drops comments, blank lines or other keys, or adds a section twice.
TEST_F(SettingsTest, SecondWriteKeepsTheRestOfTheFile) {
    WriteFile(
        "; Kestrane settings\n[Data]\n# the shared folder\nKS Data Path = /old/\nOther = kept\n\n"
        "; the next section\n[Settings]\nColour=blue\n");
    Save("data", QStringLiteral("ks data path"), QStringLiteral("/new/"));
    Save("Data", QStringLiteral("Added"), QStringLiteral("yes"));
    Save("Fresh", QStringLiteral("Key"), QStringLiteral("v"));
    EXPECT_EQ(
        ReadFile(QStringLiteral("KS")),
        QStringLiteral("; Kestrane settings\n[Data]\n# the shared folder\nKS Data Path=/new/\nOther = kept\n"
                       "Added=yes\n\n; the next section\n[Settings]\nColour=blue\n\n[Fresh]\nKey=v\n"));
    EXPECT_EQ(Get("Data", QStringLiteral("KS Data Path")), QStringLiteral("/new/"));
}

// Catches a store that cannot be written failing silently or with another error.
TEST_F(SettingsTest, UnwritableStoreRaisesPathFileAccessError) {
    QFile blocker(dir_.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ScopedEnvironment configHome("XDG_CONFIG_HOME", blocker.fileName().toUtf8());
    try {
        Save("Data", QStringLiteral("Key"), QStringLiteral("v"));
        FAIL() << "no error raised";
    } catch (const platform::RuntimeError& error) {
        EXPECT_EQ(error.Number(), 75);
        EXPECT_EQ(error.Description(), QStringLiteral("Path/File access error"));
    }
}

}  // namespace
