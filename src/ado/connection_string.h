#pragma once
// An OLE DB connection string: "Key=Value;" pairs, keys without regard to case.

#include <QString>

#include <utility>
#include <vector>

namespace ado {

class ConnectionString {
public:
    // Parses text; blanks around keys and values are dropped, a value may be quoted with " or '.
    explicit ConnectionString(const QString& text = {});
    // The value of key, or defaultValue when it is absent.
    QString Get(const QString& key, const QString& defaultValue = {}) const;
    bool Has(const QString& key) const;
    const QString& Text() const { return text_; }

private:
    QString text_;
    std::vector<std::pair<QString, QString>> pairs_;
};

}  // namespace ado
