-- The product's tables for the embedded engine (SQLite). Every product file (KS.mdb, KS_users.mdb, ...) is made
-- from this one script: the main file uses the case-management tables, the users file the user, workstation and
-- activity-log tables, and the unused tables stay empty.
-- Conventions: tables and fields under the product's names; booleans are 0/1; dates are local time as text
-- 'YYYY-MM-DD HH:MM:SS'; ID fields are INTEGER PRIMARY KEY.

CREATE TABLE IF NOT EXISTS [Parameters] (
    ID INTEGER PRIMARY KEY,
    Next_Rebuild_Requested_By INTEGER,
    Next_Disqualifications_Rebuild DATETIME
);

CREATE TABLE IF NOT EXISTS [Application User List] (
    ID INTEGER PRIMARY KEY,
    [User Name] TEXT NOT NULL DEFAULT '',
    [Full Name] TEXT NOT NULL DEFAULT '',
    Active BOOLEAN NOT NULL DEFAULT 1
);

CREATE TABLE IF NOT EXISTS [Application Workstation List] (
    ID INTEGER PRIMARY KEY,
    [Workstation Name] TEXT NOT NULL DEFAULT '',
    Active BOOLEAN NOT NULL DEFAULT 1
);

CREATE TABLE IF NOT EXISTS [Activity Log] (
    ID INTEGER PRIMARY KEY,
    [User ID] INTEGER,
    Workstation INTEGER,
    [Time] DATETIME,
    Notes TEXT,
    [Last Updated] DATETIME,
    [Updated By] TEXT
);

CREATE TABLE IF NOT EXISTS Disqualifications_Queue (
    ID INTEGER PRIMARY KEY,
    Table_Name TEXT,
    Table_ID INTEGER,
    Creation_Date DATETIME
);
CREATE INDEX IF NOT EXISTS Disqualifications_Queue_Creation_Date ON Disqualifications_Queue (Creation_Date);

CREATE TABLE IF NOT EXISTS People (
    ID INTEGER PRIMARY KEY,
    [Last Name] TEXT NOT NULL DEFAULT '',
    [First Name] TEXT NOT NULL DEFAULT ''
);

CREATE TABLE IF NOT EXISTS Agencies (
    ID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL DEFAULT '',
    No_Drug_Offenders BOOLEAN NOT NULL DEFAULT 0,
    No_Sex_Offenders BOOLEAN NOT NULL DEFAULT 0,
    No_Theft_Offenders BOOLEAN NOT NULL DEFAULT 0,
    No_Violent_Offenders BOOLEAN NOT NULL DEFAULT 0,
    Inactive BOOLEAN NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS [Court Charges] (
    ID INTEGER PRIMARY KEY,
    Description TEXT NOT NULL DEFAULT '',
    Drug_Related BOOLEAN,
    Sex_Crime BOOLEAN,
    Theft_Related BOOLEAN,
    Violent_Crime BOOLEAN
);

CREATE TABLE IF NOT EXISTS Cases (
    ID INTEGER PRIMARY KEY,
    [People ID] INTEGER,
    [Court Charge] INTEGER
);
CREATE INDEX IF NOT EXISTS Cases_People_ID ON Cases ([People ID]);

CREATE TABLE IF NOT EXISTS [Client Criminal History] (
    ID INTEGER PRIMARY KEY,
    [Client ID] INTEGER,
    [Court Charge ID] INTEGER
);
CREATE INDEX IF NOT EXISTS Client_Criminal_History_Client_ID ON [Client Criminal History] ([Client ID]);

CREATE TABLE IF NOT EXISTS Blacklist (
    ID INTEGER PRIMARY KEY,
    Client_ID INTEGER,
    Agency_ID INTEGER,
    Manually_Entered BOOLEAN NOT NULL DEFAULT 0,
    Date_Created DATETIME,
    Notes TEXT,
    Created_By INTEGER
);
CREATE INDEX IF NOT EXISTS Blacklist_Agency_Client ON Blacklist (Agency_ID, Client_ID);
CREATE INDEX IF NOT EXISTS Blacklist_Client ON Blacklist (Client_ID);
