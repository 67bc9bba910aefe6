#pragma once
// A table of text printed in aligned columns, for the commands that show data to a person.

#include <QStringList>
#include <QTextStream>

#include <vector>

namespace tools {

class TextTable {
public:
    explicit TextTable(QStringList headings) : headings_(std::move(headings)) {}
    void AddRow(QStringList cells) { rows_.push_back(std::move(cells)); }
    // Prints the headings, a rule and the rows, each column as wide as its widest cell; "(no rows)" when
    // empty.
    void Print(QTextStream& out) const;

private:
    QStringList headings_;
    std::vector<QStringList> rows_;
};

}  // namespace tools
