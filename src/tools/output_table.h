#pragma once
// Rows that a command shows: an aligned table for people, or CSV or JSON for scripts. Dates are ISO 8601
// (local time) in every format, whatever the locale.

#include "ado/variant.h"

#include <QStringList>
#include <QTextStream>

#include <vector>

namespace tools {

enum class OutputFormat { Table, Csv, Json };

// "table", "csv" or "json". Raises UsageError for anything else.
OutputFormat ParseOutputFormat(const QString& text);

class OutputTable {
public:
    explicit OutputTable(QStringList headings) : headings_(std::move(headings)) {}
    void AddRow(std::vector<ado::Variant> values) { rows_.push_back(std::move(values)); }
    // Table: the headings, a rule and the rows, each column as wide as its widest cell, Null as "(null)",
    // "(no rows)" when empty. CSV: a heading line and one line per row (RFC 4180 quoting), Null empty. JSON:
    // an array with one object per row, keyed by the headings, Null as null.
    void Print(QTextStream& out, OutputFormat format) const;

private:
    void PrintTable(QTextStream& out) const;
    void PrintCsv(QTextStream& out) const;
    void PrintJson(QTextStream& out) const;

    QStringList headings_;
    std::vector<std::vector<ado::Variant>> rows_;
};

}  // namespace tools
