#pragma once
// The base table of an updatable statement, with the table's key and columns as the server's catalog gives
// them; read once per connection and table.

#include "ado/postgresql/link.h"
#include "ado/provider.h"

#include <QHash>
#include <QString>

#include <vector>

namespace ado::postgresql {

class TableCatalog {
public:
    // The single table in the FROM of a SELECT (in the server's dialect) and its one-column primary key.
    // Raises ado::Error: ADODB_E_NOTSUPPORTED when the statement has no single base table or the table no
    // such key, DB_E_NOTABLE when the table does not exist.
    provider::TableKey UpdatableTable(Link& link, const QString& sent, const QString& written);

    // A column of a table that UpdatableTable gave (on this connection or on one before it), quoted for a
    // statement, found without regard to case (the program writes "Client_ID", the server names it
    // "client_id"). A name the table does not have comes back quoted as given, for the server to refuse.
    // Raises ado::Error when the table's columns cannot be read.
    QString QuotedColumn(Link& link, const provider::TableKey& table, const QString& column);

    // After an INSERT (in the server's dialect) that gave a table's identity column its value, or named no
    // columns, moves the identity past the highest value in the table, as the server product does after an
    // insert under IDENTITY_INSERT and as the embedded engine always does: the rows it numbers next must not
    // collide. Raises ado::Error.
    void FollowIdentityAfterInsert(Link& link, const QString& sent, const QString& written);
    // The same after a row inserted by key with the given columns.
    void FollowIdentityAfterInsert(Link& link, const provider::TableKey& table,
                                   const std::vector<QString>& columns);

private:
    struct Table {
        provider::TableKey key;
        QHash<QString, QString> columnsByLowerName;
        QString identityColumn;    // empty when the table has none
        QString identitySequence;  // the sequence behind it
    };
    void FollowIdentity(Link& link, const Table& table);
    const Table& Load(Link& link, const QString& name, const QString& written);
    // The table of a key that UpdatableTable gave, read on this connection the first time.
    const Table& Known(Link& link, const provider::TableKey& table) {
        return Load(link, table.table, table.table);
    }

    QHash<QString, Table> tables_;          // by the engine's name
    QHash<QString, QString> engineNameOf_;  // the name as a statement writes it -> the engine's name
};

// "name" with inner quotes doubled.
QString QuoteIdentifier(const QString& name);

}  // namespace ado::postgresql
