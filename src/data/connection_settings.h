#pragma once
// The program-wide connection settings: where the product's databases are and how to reach them.

#include <QString>

namespace data {

// Application codes and file names of the product.
inline const QString kProductCode = QStringLiteral("KS");
inline const QString kServerCatalog = QStringLiteral("Kestrane");

struct ConnectionSettings {
    QString dataPath;              // the database folder, ending with "/"
    QString mainDatabaseFile;      // dataPath + "KS.mdb"
    QString mainConnectionString;  // the main database (embedded file or server catalog)
    QString usersDatabaseFile;     // dataPath + "KS_users.mdb", always an embedded file
    QString usersConnectionString;
    QString listsDatabaseFile;  // dataPath + "KS_lists.mdb"
    QString sandsDatabaseFile;  // dataPath + "KS_sands.mdb"
    QString zoDataPath;         // the sibling product's data folder
    bool zoDataPresent = false;
    QString systemDatabaseFile;  // zoDataPath + "HVSYS.MDB"
    QString systemConnectionString;
    bool useLocalData = false;
    QString jetUserName;      // stays empty
    QString jetPassword;      // stays empty
    bool accessFlag = false;  // "Datasource Type" is "Access"
    QString trueLiteral;      // "TRUE" or "1"
    QString falseLiteral;     // "FALSE" or "0"
};

// The one instance, empty at program start.
ConnectionSettings& Settings();

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Persist Security Info=False;User ID=" + Jet user
// name + ";Password=" + Jet password + ";" (the main and the users string)
QString AccessMainConnectionString(const QString& databaseFile);
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Persist Security Info=False"
QString JetFileConnectionString(const QString& databaseFile);
// "Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=" + server + ";...;Initial Catalog=Kestrane;"
// (another catalog when given; no "Initial Catalog=" part for an empty one)
QString ServerIntegratedConnectionString(const QString& serverName, const QString& catalog = kServerCatalog);
// "Provider=SQLOLEDB.1;Data Source=" + server + ";...;Initial Catalog=Kestrane;UID=" + user + ";Pwd=" +
// password + ";"
QString ServerLoginConnectionString(const QString& serverName, const QString& userId, const QString& password,
                                    const QString& catalog = kServerCatalog);

}  // namespace data
