#include "tools/text_table.h"

#include <algorithm>

namespace tools {

void TextTable::Print(QTextStream& out) const {
    std::vector<qsizetype> widths;
    for (const QString& heading : headings_)
        widths.push_back(heading.size());
    for (const QStringList& row : rows_) {
        for (qsizetype i = 0; i < row.size() && i < qsizetype(widths.size()); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    const auto printRow = [&](const QStringList& cells) {
        QString line;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const bool last = i + 1 == cells.size();
            line += last ? cells[i] : cells[i].leftJustified(widths[i]) + QStringLiteral("  ");
        }
        out << line << '\n';
    };
    printRow(headings_);
    QStringList rule;
    for (qsizetype width : widths)
        rule << QString(width, QLatin1Char('-'));
    printRow(rule);
    for (const QStringList& row : rows_)
        printRow(row);
    if (rows_.empty())
        out << "(no rows)\n";
    out.flush();
}

}  // namespace tools
