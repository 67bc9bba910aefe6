#include "ado/connection_string.h"

#include <algorithm>

namespace ado {

namespace {

// Reads one value from position pos of text up to the next ";" outside quotes, and moves pos past it.
QString ReadValue(const QString& text, qsizetype& pos) {
    while (pos < text.size() && text[pos].isSpace())
        ++pos;
    if (pos < text.size() && (text[pos] == u'"' || text[pos] == u'\'')) {
        const QChar quote = text[pos];
        const qsizetype close = text.indexOf(quote, pos + 1);
        const qsizetype end = close < 0 ? text.size() : close;
        const QString value = text.mid(pos + 1, end - pos - 1);
        const qsizetype semicolon = text.indexOf(u';', end);
        pos = semicolon < 0 ? text.size() : semicolon + 1;
        return value;
    }
    const qsizetype semicolon = text.indexOf(u';', pos);
    const qsizetype end = semicolon < 0 ? text.size() : semicolon;
    const QString value = text.mid(pos, end - pos).trimmed();
    pos = end + 1;
    return value;
}

}  // namespace

ConnectionString::ConnectionString(const QString& text) : text_(text) {
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype equals = text.indexOf(u'=', pos);
        const qsizetype semicolon = text.indexOf(u';', pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A part without "=" carries no value.
            pos = semicolon < 0 ? text.size() : semicolon + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed();
        pos = equals + 1;
        const QString value = ReadValue(text, pos);
        if (!key.isEmpty())
            pairs_.emplace_back(key, value);
    }
}

QString ConnectionString::Get(const QString& key, const QString& defaultValue) const {
    // The last of repeated keys wins.
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
        if (it->first.compare(key, Qt::CaseInsensitive) == 0)
            return it->second;
    }
    return defaultValue;
}

bool ConnectionString::Has(const QString& key) const {
    return std::any_of(pairs_.begin(), pairs_.end(),
                       [&](const auto& pair) { return pair.first.compare(key, Qt::CaseInsensitive) == 0; });
}

}  // namespace ado
