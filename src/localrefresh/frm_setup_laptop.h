#pragma once
// The local-refresh window: a portable workstation chooses whether the product works on its local data folder
// or on the remote (network) one, and may refresh the local copies of the database files from the remote
// folder first. The choice is left in the program-wide connection settings when the window closes; nothing is
// written to the settings store.
//
// Without a display the window asks at the terminal (remote or local, refresh or not) and presses OK for the
// person; with no terminal it is closed without OK.

#include "platform/controls.h"
#include "platform/form.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <istream>

namespace localrefresh {

class frmSetupLaptop : public platform::Form {
    Q_OBJECT
public:
    frmSetupLaptop();

    // Frame1(0) "Remote Data Directories ", Frame1(1) "Local Data Directories ".
    std::array<QGroupBox*, 2> Frame1{};
    // lblPrompts(0) in the remote frame, lblPrompts(1) in the local one: "KS Data Directory".
    std::array<platform::Label*, 2> lblPrompts{};
    platform::Label* lblRemoteKSDirectory = nullptr;
    platform::Label* lblLocalKSDirectory = nullptr;
    platform::Label* Label1 = nullptr;
    QRadioButton* optRemote = nullptr;  // selected when the window opens
    QRadioButton* optLocal = nullptr;
    QCheckBox* chkCopy = nullptr;
    platform::Label* lblProgress = nullptr;
    QPushButton* cmdOK = nullptr;

    // With a display, or shown without modality: as every window. Shown modally without a display: asks at
    // the terminal and presses OK, or closes the window when the person cancels or there is no terminal.
    void Show(int modal = platform::vbModeless, QWidget* owner = nullptr) override;

    // Remembers that OK was pressed and unloads the window, which applies the choice and refreshes the local
    // copies when asked. Ends the program at once (platform::EndProgram) when a copy fails and the person
    // gives up.
    void cmdOK_Click();

    // The terminal form: shows the two folders, reads the choice and the refresh from in, then presses OK; an
    // answer of "cancel", or the end of input, closes the window without OK instead. Questions go to standard
    // error. Copy failures end the program as cmdOK_Click does.
    void AskAtTerminal(std::istream& in);

protected:
    void Form_Initialize() override;
    void Form_Load() override;
    void Form_Resize() override;
    void Form_Unload(int& cancel) override;

private:
    // Sets the use-local-data flag and the data path from the chosen folder and rebuilds the file and
    // connection settings from it.
    void ApplyChoice();
    // Copies the main, users and select-and-sort databases from the remote folder to the local one, showing
    // the progress in lblProgress.
    void RefreshLocalCopies();
    // One file of the refresh: the shell copy, then the message for a cancelled or failed copy and the plain
    // copy when the person asks for it.
    void CopyDatabaseFile(const QString& fileName);

    bool okPressed_ = false;
    bool designSizeRecorded_ = false;
    int designWidth_ = 0;   // twips, of the client area
    int designHeight_ = 0;  // twips, of the client area
};

// The program-wide reference to the window.
inline platform::FormRef<frmSetupLaptop> gfrmSetupLaptop;

}  // namespace localrefresh
