#pragma once
// The text of one INI settings file: "[section]" lines and "key=value" lines, with comments and blank lines
// kept as they are. Sections and keys are matched without regard to letter case.
//
// A key or value is written raw unless raw text would not read back exactly (blanks at either end, a leading
// double quote, a control character, and for keys also "=", or a leading "[", "#" or ";"); then it is written
// as a double-quoted string with \" \\ \n \r \t escapes.

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

class IniFile {
  public:
    // Parses the text of a file; never fails (a line that is neither a section nor an entry is kept as is).
    static IniFile Parse(const QString& text);

    // The value of the first entry named key in a section named section, or nothing.
    std::optional<QString> Value(const QString& section, const QString& key) const;

    // Replaces the first entry named key in the section in place, or appends it to the section, creating the
    // section at the end of the file when there is none.
    void SetValue(const QString& section, const QString& key, const QString& value);

    // The text of the file, one line per line, each ended by a line feed.
    QString Text() const;

    // The one line that stores key=value, quoting each side where raw text would not read back.
    static QString EntryLine(const QString& key, const QString& value);

  private:
    struct Line {
        QString text{};
        QString section{};  // the section this line belongs to (a header names its own)
        bool isHeader = false;
        std::optional<QString> key{};  // set for entries
        QString value{};
    };

    static Line ParseLine(const QString& text, const QString& currentSection);
    std::optional<qsizetype> FindEntry(const QString& section, const QString& key) const;

    QList<Line> lines_;
};

}  // namespace platform
