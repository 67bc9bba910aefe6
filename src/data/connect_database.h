#pragma once
// Reading the connection settings from the settings store.

namespace data {

// Reads "Datasource Type", the data path and the server settings of application "KS", section "Data", chooses
// the dialect and builds the connection strings in Settings(). Whatever is missing is told to the user with
// the incomplete-setup message, and incompleteSetup is set. Never fails otherwise.
void ConnectDatabase(bool& incompleteSetup);

}  // namespace data
