// The settings store: odd values read back exactly, hand-written files read as meant, and a second write
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

    void WriteFile(const QString& application, const QByteArray& text) const {
        ASSERT_TRUE(QDir().mkpath(platform::SettingsFolder()));
        QFile file(SettingsFile(application));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QTemporaryDir dir_;
    ScopedEnvironment configHome_{"XDG_CONFIG_HOME", dir_.path().toUtf8()};
};

struct OddText {
    const char* what;
    QString text;
};

const std::vector<OddText>& OddTexts() {
    static const std::vector<OddText> texts = {
        {"commas", QStringLiteral("a, b")},
        {"single quotes", QStringLiteral("'x'")},
        {"leading and inner double quotes", QStringLiteral("\"q\"uote")},
        {"trailing double quote", QStringLiteral("q\"")},
        {"a lone double quote", QStringLiteral("\"")},
        {"two double quotes", QStringLiteral("\"\"")},
        {"equals sign", QStringLiteral("=")},
        {"several equals signs", QStringLiteral("a=b=c")},
        {"hash", QStringLiteral("#")},
        {"hash at the start", QStringLiteral("# not a comment")},
        {"semicolon", QStringLiteral(";")},
        {"semicolon at the start", QStringLiteral("; nor this")},
        {"blanks at both ends", QStringLiteral("  both ends  ")},
        {"blank at the start", QStringLiteral(" leading")},
        {"blank at the end", QStringLiteral("trailing ")},
        {"only blanks", QStringLiteral("   ")},
        {"empty", QString()},
        {"unicode", QStringLiteral("Ünïcødé ☃ 日本語")},
        {"newline", QStringLiteral("line1\nline2")},
        {"carriage returns", QStringLiteral("cr\rand crlf\r\n")},
        {"tab", QStringLiteral("tab\there")},
        {"backslashes", QStringLiteral("C:\\KS\\Data\\")},
        {"backslash escapes in quotes", QStringLiteral("\"a\\\"b\\n\"")},
        {"section-like", QStringLiteral("[not a section]")},
        {"path", QStringLiteral("/srv/ks/")},
    };
    return texts;
}

TEST_F(SettingsTest, OddValuesReadBackExactly) {
    int n = 0;
    for (const OddText& odd : OddTexts()) {
        SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("Key %1").arg(n++),
                    odd.text);
    }
    n = 0;
    for (const OddText& odd : OddTexts()) {
        SCOPED_TRACE(odd.what);
        EXPECT_EQ(GetSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("Key %1").arg(n++),
                             QStringLiteral("missing")),
                  odd.text);
    }
}

TEST_F(SettingsTest, OddKeysReadBackExactly) {
    int n = 0;
    for (const OddText& odd : OddTexts()) {
        SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), odd.text,
                    QStringLiteral("value %1").arg(n++));
    }
    n = 0;
    for (const OddText& odd : OddTexts()) {
        SCOPED_TRACE(odd.what);
        EXPECT_EQ(GetSetting(QStringLiteral("KS"), QStringLiteral("Data"), odd.text),
                  QStringLiteral("value %1").arg(n++));
    }
}

TEST_F(SettingsTest, PlainValuesAreWrittenRaw) {
    SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("KS Data Path"),
                QStringLiteral("/srv/ks/"));
    SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("List"),
                QStringLiteral("a, 'b', c\"d"));
    SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("Padded"), QStringLiteral(" x"));
    EXPECT_EQ(ReadFile(QStringLiteral("KS")),
              QStringLiteral("[Data]\nKS Data Path=/srv/ks/\nList=a, 'b', c\"d\nPadded=\" x\"\n"));
}

TEST_F(SettingsTest, HandWrittenFileReadsAsMeant) {
    WriteFile(QStringLiteral("KS"),
              "\xEF\xBB\xBF; Kestrane settings\r\n"
              "# written by hand\r\n"
              "[ Data ]\r\n"
              "KS Data Path = /srv/ks/   \r\n"
              "  Users = \"a, b\"  \r\n"
              "Windows Path = \"C:\\KS\\Data\"\r\n"
              "Half quoted = \"open\r\n"
              "Empty=\r\n"
              "a line without an equals sign\r\n"
              "   ; an indented comment = not a key\r\n"
              "[Other]\r\n"
              "KS Data Path=/other/\r\n");
    struct Case {
        const char* section;
        const char* key;
        QString expected;
    };
    const std::vector<Case> cases = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(GetSetting(QStringLiteral("KS"), QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                             QStringLiteral("default")),
                  c.expected);
    }
}

TEST_F(SettingsTest, MissingFileReadsTheDefault) {
    EXPECT_EQ(GetSetting(QStringLiteral("ZO"), QStringLiteral("Data"), QStringLiteral("ZO Data Path"),
                         QStringLiteral("fallback")),
              QStringLiteral("fallback"));
    EXPECT_EQ(GetSetting(QStringLiteral("ZO"), QStringLiteral("Data"), QStringLiteral("ZO Data Path")),
              QString());
    EXPECT_FALSE(QFile::exists(SettingsFile(QStringLiteral("ZO"))));
}

TEST_F(SettingsTest, SecondWriteKeepsTheRestOfTheFile) {
    WriteFile(QStringLiteral("KS"),
              "; Kestrane settings\n"
              "[Data]\n"
              "# the shared folder\n"
              "KS Data Path = /old/\n"
              "Other = kept\n"
              "\n"
              "; the next section\n"
              "[Settings]\n"
              "Colour=blue\n");
    SaveSetting(QStringLiteral("KS"), QStringLiteral("data"), QStringLiteral("ks data path"),
                QStringLiteral("/new/"));
    SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("Added"), QStringLiteral("yes"));
    SaveSetting(QStringLiteral("KS"), QStringLiteral("Fresh"), QStringLiteral("Key"), QStringLiteral("v"));
    EXPECT_EQ(ReadFile(QStringLiteral("KS")), QStringLiteral("; Kestrane settings\n"
                                                             "[Data]\n"
                                                             "# the shared folder\n"
                                                             "KS Data Path=/new/\n"
                                                             "Other = kept\n"
                                                             "Added=yes\n"
                                                             "\n"
                                                             "; the next section\n"
                                                             "[Settings]\n"
                                                             "Colour=blue\n"
                                                             "\n"
                                                             "[Fresh]\n"
                                                             "Key=v\n"));
    EXPECT_EQ(GetSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("KS Data Path")),
              QStringLiteral("/new/"));
}

TEST_F(SettingsTest, ApplicationNameWithBlanksNamesTheFile) {
    SaveSetting(QStringLiteral("Halvermoor Software"), QStringLiteral("Settings"),
                QStringLiteral("Use Local Data"), QStringLiteral("True"));
    EXPECT_EQ(SettingsFile(QStringLiteral("Halvermoor Software")),
              dir_.path() + QStringLiteral("/Kestrane/Halvermoor Software.ini"));
    EXPECT_EQ(ReadFile(QStringLiteral("Halvermoor Software")),
              QStringLiteral("[Settings]\nUse Local Data=True\n"));
}

TEST_F(SettingsTest, WithoutConfigHomeTheStoreIsInTheHomeFolder) {
    const ScopedEnvironment home("HOME", dir_.path().toUtf8());
    const ScopedEnvironment noConfigHome("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(SettingsFile(QStringLiteral("KS")), dir_.path() + QStringLiteral("/.config/Kestrane/KS.ini"));
}

TEST_F(SettingsTest, UnwritableStoreRaisesPathFileAccessError) {
    QFile blocker(dir_.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ScopedEnvironment configHome("XDG_CONFIG_HOME", blocker.fileName().toUtf8());
    try {
        SaveSetting(QStringLiteral("KS"), QStringLiteral("Data"), QStringLiteral("Key"), QStringLiteral("v"));
        FAIL() << "no error raised";
    } catch (const platform::RuntimeError& error) {
        EXPECT_EQ(error.Number(), 75);
        EXPECT_EQ(error.Description(), QStringLiteral("Path/File access error"));
    }
}

}  // namespace
