#pragma once
// The data-location dialog: the user picks the folder that holds a database file by hand, lets the program
// search the drives for it, or installs the initial data files from the release CD. OK rebuilds the
// program-wide file and connection settings from the chosen folder and stores the folder in the settings.
//
// Without a display the dialog asks at the terminal (a folder, "locate", "cd", "ok" or "cancel") and runs the
// same event procedures; with no terminal it takes its Cancel path at once.

#include "platform/controls.h"
#include "platform/file_system_lists.h"
#include "platform/form.h"

#include <QLineEdit>
#include <QPushButton>

#include <vector>

namespace setup {

class GetDataPath : public platform::Form {
public:
    GetDataPath();

    // The file being looked for, e.g. "KS.mdb"; reduced to a bare file name on first activation.
    QString dbFile;
    // The application code of the product whose data is meant; "KS" when left empty.
    QString dbApp;

    platform::Label* Label4 = nullptr;
    platform::Label* Label3 = nullptr;
    platform::Label* Label5 = nullptr;
    platform::DriveListBox* Drive1 = nullptr;
    platform::Label* Label6 = nullptr;
    platform::DirListBox* Dir1 = nullptr;
    platform::FileListBox* File1 = nullptr;
    platform::Label* Label1 = nullptr;
    platform::Label* Label2 = nullptr;
    QLineEdit* txtDataPath = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdLocate = nullptr;
    QPushButton* cmdCDInstall = nullptr;

    // With a display, or shown without modality: as every window. Shown modally without a display: asks at
    // the terminal until the dialog is unloaded, or takes the Cancel path when there is no terminal.
    void Show(int modal = platform::vbModeless, QWidget* owner = nullptr) override;

    // Sets the folder list to the drive list's drive. Errors of the lists are not handled.
    void Drive1_Change();
    // Sets the file list to the folder; the data path is the folder when the wanted file is in it, else
    // empty.
    void Dir1_Change();
    // The data path is the file list's folder when the wanted file is in it, else empty.
    void File1_PathChange();
    // Rebuilds the settings of the system database or of the product's files from the data path, stores the
    // folder in the settings (or shows "ERROR KS-4" for an empty one) and unloads the dialog. A settings file
    // that cannot be written raises RuntimeError 75.
    void cmdOK_Click();
    // Unloads the dialog, tells the user that set-up is needed, and unloads every window of the program.
    void cmdCancel_Click();
    // Searches the fixed and network drives for a folder that holds the product's files and offers each find;
    // with nothing found, lists the CD-ROM drives. Errors of a folder walk are not handled.
    void cmdLocate_Click();
    // Installs the product's initial data files from the release CD; unloads the dialog when the product's
    // folder was installed. A copy error other than a busy file ends the program at once.
    void cmdCDInstall_Click();

protected:
    void Form_Initialize() override;
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Resize() override;
    void Form_Unload(int& cancel) override;

private:
    // Searches drive for the product's files; count becomes 1 when a copy was offered and taken or declined
    // alone, 0 when none was found or every one of several was declined.
    void FindDatabaseOnDrive(const QString& drive, int& count);
    // Appends every folder of the drive below root, level by level, to folders (items 1 to folderCount are
    // folders[0] to folders[folderCount - 1]; the list grows by 100 slots when full).
    void ListFoldersOfDrive(const QString& root, std::vector<QString>& folders, int& folderCount);
    // Selects folder (found on drive) in the lists and as the data path.
    void SelectFoundFolder(const QString& drive, const QString& folder);
    // Copies the release CD's files from folder into the fixed folder tree on the selected drive; true when
    // the product's data folder was installed.
    bool CopyReleaseCDFiles(const QString& folder);
    // The four buttons, enabled or not.
    void EnableButtons(bool enabled);
    // The conversation of the terminal form; returns when the dialog is unloaded.
    void AskAtTerminal();

    bool activated_ = false;
    bool designSizeRecorded_ = false;
    int designWidth_ = 0;
    int designHeight_ = 0;
};

// The program-wide reference to the dialog.
inline platform::FormRef<GetDataPath> gGetDataPath;

// What AdoOpenConnection does for a missing database file: loads the dialog, sets its dbFile to the file name
// and shows it modally. Returns when the dialog is unloaded (after OK, Cancel or an install); an error of its
// event procedures (platform::EndProgram after a failed install) reaches the caller.
void ShowGetDataPath(const QString& dbFile);

}  // namespace setup
