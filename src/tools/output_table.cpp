// Rows that a command shows, for people or for scripts.
#include "tools/output_table.h"

#include "tools/command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tools {

namespace {

// A value as text: ISO 8601 dates with the given separator between date and time, "true"/"false".
QString ValueText(const ado::Variant& value, QChar dateTimeSeparator) {
    switch (value.GetKind()) {
        case ado::Variant::Kind::Date:
            return value.ToDate().toString(QStringLiteral("yyyy-MM-dd") + dateTimeSeparator +
                                           QStringLiteral("HH:mm:ss"));
        case ado::Variant::Kind::Boolean:
            return value.ToBool() ? QStringLiteral("true") : QStringLiteral("false");
        case ado::Variant::Kind::Null:
        case ado::Variant::Kind::Empty:
            return {};
        default:
            return value.ToString();
    }
}

QJsonValue JsonValue(const ado::Variant& value) {
    switch (value.GetKind()) {
        case ado::Variant::Kind::Null:
        case ado::Variant::Kind::Empty:
            return QJsonValue::Null;
        case ado::Variant::Kind::Boolean:
            return value.ToBool();
        case ado::Variant::Kind::Long:
            return value.ToLong();
        case ado::Variant::Kind::Double:
            return value.ToDouble();
        default:
            return ValueText(value, QLatin1Char('T'));
    }
}

QString CsvField(QString text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

}  // namespace

OutputFormat ParseOutputFormat(const QString& text) {
    if (text == QStringLiteral("table"))
        return OutputFormat::Table;
    if (text == QStringLiteral("csv"))
        return OutputFormat::Csv;
    if (text == QStringLiteral("json"))
        return OutputFormat::Json;
    throw UsageError(QStringLiteral("--format is table, csv or json, not \"") + text + QStringLiteral("\"."));
}

void OutputTable::Print(QTextStream& out, OutputFormat format) const {
    switch (format) {
        case OutputFormat::Table:
            PrintTable(out);
            break;
        case OutputFormat::Csv:
            PrintCsv(out);
            break;
        case OutputFormat::Json:
            PrintJson(out);
            break;
    }
    out.flush();
}

void OutputTable::PrintTable(QTextStream& out) const {
    std::vector<QStringList> cells;
    std::vector<qsizetype> widths;
    for (const QString& heading : headings_)
        widths.push_back(heading.size());
    for (const std::vector<ado::Variant>& row : rows_) {
        QStringList line;
        for (size_t i = 0; i < row.size(); ++i) {
            line << (row[i].IsNull() ? QStringLiteral("(null)") : ValueText(row[i], QLatin1Char(' ')));
            widths[i] = std::max(widths[i], line.back().size());
        }
        cells.push_back(line);
    }
    const auto printRow = [&](const QStringList& line) {
        QString text;
        for (qsizetype i = 0; i < line.size(); ++i)
            text += i + 1 == line.size() ? line[i] : line[i].leftJustified(widths[i]) + QStringLiteral("  ");
        out << text << '\n';
    };
    printRow(headings_);
    QStringList rule;
    for (qsizetype width : widths)
        rule << QString(width, QLatin1Char('-'));
    printRow(rule);
    for (const QStringList& line : cells)
        printRow(line);
    if (rows_.empty())
        out << "(no rows)\n";
}

void OutputTable::PrintCsv(QTextStream& out) const {
    QStringList heading;
    for (const QString& name : headings_)
        heading << CsvField(name);
    out << heading.join(QLatin1Char(',')) << "\r\n";
    for (const std::vector<ado::Variant>& row : rows_) {
        QStringList line;
        for (const ado::Variant& value : row)
            line << CsvField(ValueText(value, QLatin1Char('T')));
        out << line.join(QLatin1Char(',')) << "\r\n";
    }
}

void OutputTable::PrintJson(QTextStream& out) const {
    QJsonArray array;
    for (const std::vector<ado::Variant>& row : rows_) {
        QJsonObject object;
        for (size_t i = 0; i < row.size(); ++i)
            object.insert(headings_[static_cast<qsizetype>(i)], JsonValue(row[i]));
        array.append(object);
    }
    out << QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace tools
