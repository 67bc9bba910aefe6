#include "platform/ini_file.h"

#include <algorithm>

namespace platform {

namespace {

bool IsControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// True when raw text would not read back as written: trimming would eat blanks at either end, a leading
// double quote would be taken for quoting, and a control character would break the line or be trimmed.
bool ValueNeedsQuotes(const QString& text) {
    if (text.isEmpty())
        return false;
    if (text.front().isSpace() || text.back().isSpace() || text.front() == u'"')
        return true;
    return std::any_of(text.begin(), text.end(), IsControl);
}

// A key also needs quotes when it holds "=" (the first "=" ends a raw key), is empty, or would be read as a
// section header or a comment.
bool KeyNeedsQuotes(const QString& key) {
    if (key.isEmpty() || key.contains(u'='))
        return true;
    if (key.front() == u'[' || key.front() == u'#' || key.front() == u';')
        return true;
    return ValueNeedsQuotes(key);
}

QString Quoted(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (QChar c : text) {
        switch (c.unicode()) {
            case '"':
                out += QStringLiteral("\\\"");
                break;
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            case '\t':
                out += QStringLiteral("\\t");
                break;
            default:
                out += c;
        }
    }
    out += u'"';
    return out;
}

struct QuotedText {
    QString text;   // unescaped
    qsizetype end;  // index just after the closing quote
};

// Reads the double-quoted string that starts at text[start]. An unknown escape keeps its backslash, so that a
// hand-quoted Windows-style path reads as typed. Nothing when the closing quote is missing.
std::optional<QuotedText> ReadQuoted(const QString& text, qsizetype start) {
    QString out;
    for (qsizetype i = start + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"')
            return QuotedText{out, i + 1};
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        switch (next.unicode()) {
            case '"':
                out += u'"';
                break;
            case '\\':
                out += u'\\';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            default:
                out += c;
                out += next;
        }
    }
    return std::nullopt;
}

// A value as written after "=": trimmed, and unquoted when the whole of it is one quoted string.
QString ReadValue(const QString& raw) {
    const QString trimmed = raw.trimmed();
    if (trimmed.startsWith(u'"')) {
        const auto quoted = ReadQuoted(trimmed, 0);
        if (quoted && quoted->end == trimmed.size())
            return quoted->text;
    }
    return trimmed;
}

}  // namespace

IniFile::Line IniFile::ParseLine(const QString& text, const QString& currentSection) {
    Line line{.text = text, .section = currentSection};
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u';'))
        return line;
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
        line.isHeader = true;
        line.section = trimmed.mid(1, trimmed.size() - 2).trimmed();
        return line;
    }
    if (trimmed.startsWith(u'"')) {
        if (const auto quoted = ReadQuoted(trimmed, 0)) {
            qsizetype i = quoted->end;
            while (i < trimmed.size() && trimmed[i].isSpace())
                ++i;
            if (i < trimmed.size() && trimmed[i] == u'=') {
                line.key = quoted->text;
                line.value = ReadValue(trimmed.mid(i + 1));
                return line;
            }
        }
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0)
        return line;
    line.key = trimmed.left(equals).trimmed();
    line.value = ReadValue(trimmed.mid(equals + 1));
    return line;
}

IniFile IniFile::Parse(const QString& text) {
    IniFile file;
    QString body = text;
    if (body.startsWith(QChar(0xfeff)))
        body.remove(0, 1);
    QStringList rawLines = body.split(u'\n');
    if (!rawLines.isEmpty() && rawLines.back().isEmpty())
        rawLines.removeLast();
    QString section;
    for (QString raw : rawLines) {
        if (raw.endsWith(u'\r'))
            raw.chop(1);
        Line line = ParseLine(raw, section);
        section = line.section;
        file.lines_.append(std::move(line));
    }
    return file;
}

std::optional<qsizetype> IniFile::FindEntry(const QString& section, const QString& key) const {
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.key && line.section.compare(section, Qt::CaseInsensitive) == 0 &&
            line.key->compare(key, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<QString> IniFile::Value(const QString& section, const QString& key) const {
    if (const auto index = FindEntry(section, key))
        return lines_[*index].value;
    return std::nullopt;
}

void IniFile::SetValue(const QString& section, const QString& key, const QString& value) {
    if (const auto index = FindEntry(section, key)) {
        // The key keeps the spelling it has in the file, as a registry value name does.
        Line& existing = lines_[*index];
        existing.text = EntryLine(*existing.key, value);
        existing.value = value;
        return;
    }
    Line entry{.text = EntryLine(key, value), .section = section, .key = key, .value = value};
    // After the last header or entry of the first section of that name, so that comments and blank lines that
    // lead into the next section stay with it.
    std::optional<qsizetype> last;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        const bool inSection = line.section.compare(section, Qt::CaseInsensitive) == 0;
        if (line.isHeader && last && !inSection)
            break;
        if (inSection && (line.isHeader || line.key))
            last = i;
    }
    if (last) {
        entry.section = lines_[*last].section;
        lines_.insert(*last + 1, std::move(entry));
        return;
    }
    if (!lines_.isEmpty() && !lines_.back().text.trimmed().isEmpty())
        lines_.append(Line{.section = section});
    lines_.append(Line{.text = QStringLiteral("[%1]").arg(section), .section = section, .isHeader = true});
    lines_.append(std::move(entry));
}

QString IniFile::Text() const {
    QString text;
    for (const Line& line : lines_) {
        text += line.text;
        text += u'\n';
    }
    return text;
}

QString IniFile::EntryLine(const QString& key, const QString& value) {
    const QString keyText = KeyNeedsQuotes(key) ? Quoted(key) : key;
    const QString valueText = ValueNeedsQuotes(value) ? Quoted(value) : value;
    return keyText + u'=' + valueText;
}

}  // namespace platform
