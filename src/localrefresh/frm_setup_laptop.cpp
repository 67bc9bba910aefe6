// The local-refresh window: its layout, the folders it shows, and what closing it does to the program-wide
// connection settings and to the local copies of the database files.
#include "localrefresh/frm_setup_laptop.h"

#include "ado/connection.h"
#include "platform/window_closing.h"
#include "data/connection_settings.h"
#include "platform/application.h"
#include "platform/file_copy.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "platform/shell_copy.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace localrefresh {

namespace {

using platform::PixelsToTwips;
using platform::TwipsToPixels;

const QString kDataSection = QStringLiteral("Data");
const QString kSiblingProductCode = QStringLiteral("ZO");
const QString kSystemDatabaseName = QStringLiteral("HVSYS.MDB");

// The client area the window opens with, in twips.
constexpr int kDesignWidth = 6000;
constexpr int kDesignHeight = 3600;
// A folder label never asks for more room than this; the window can be widened to show a long folder whole.
constexpr int kFolderLabelMinWidth = 3000;

// The file of the product named by suffix in folder, e.g. folder + "KS" + "_users.mdb". The files carry
// the product's own spelling on disk, and file names are compared with their case here.
QString ProductFile(const QString& folder, const QString& suffix) {
    return folder + data::kProductCode + suffix;
}

// path with "/" appended when it does not end with one (an empty path becomes "/").
QString WithTrailingSeparator(QString path) {
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

// Runs one statement of the refresh under its error handler. A busy or denied file asks whether to try the
// statement again; Cancel ends the program at once. Any other run-time error is reported and ends the program
// at once.
template <class Statement>
auto RunCopyStatement(const Statement& statement) -> decltype(statement()) {
    for (;;) {
        try {
            return statement();
        } catch (const platform::RuntimeError& error) {
            if (error.Number() != platform::kErrPermissionDenied) {
                platform::MsgBox(QStringLiteral("Error #") + QString::number(error.Number()) +
                                     QStringLiteral(" while trying to copy.") + u'\n' + error.Description() +
                                     QStringLiteral("Contact your System Administrator if this continues.") +
                                     u'\n' + QStringLiteral("Terminating application."),
                                 platform::vbOKOnly + platform::vbCritical);
                throw platform::EndProgram(error.Description());
            }
            const int answer = platform::MsgBox(
                QStringLiteral("File cannot be copied because it is in use.") + u'\n' +
                    QStringLiteral("Make sure everyone has exitted ") + platform::AppTitle() +
                    QStringLiteral(" then press OK or press Cancel to exit."),
                platform::vbOKCancel + platform::vbCritical);
            if (answer != platform::vbOK)
                throw platform::EndProgram(error.Description());
        }
    }
}

platform::Label* NewLabel(QWidget* parent, const QString& caption = {}) {
    auto* label = new platform::Label(parent);
    label->setText(caption);
    return label;
}

// A frame holding a prompt and the folder it names.
QGroupBox* NewFolderFrame(QWidget* parent, const QString& caption, platform::Label* prompt,
                          platform::Label* folder) {
    auto* frame = new QGroupBox(caption, parent);
    folder->setMinimumWidth(TwipsToPixels(kFolderLabelMinWidth));
    folder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    folder->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QHBoxLayout(frame);
    layout->addWidget(prompt);
    layout->addWidget(folder, 1);
    return frame;
}

}  // namespace

frmSetupLaptop::frmSetupLaptop() {
    SetCaption(QStringLiteral("Select Laptop Directory"));

    lblPrompts = {NewLabel(this), NewLabel(this)};
    lblRemoteKSDirectory = NewLabel(this);
    lblLocalKSDirectory = NewLabel(this);
    Frame1 = {
        NewFolderFrame(this, QStringLiteral("Remote Data Directories "), lblPrompts[0], lblRemoteKSDirectory),
        NewFolderFrame(this, QStringLiteral("Local Data Directories "), lblPrompts[1], lblLocalKSDirectory)};
    Label1 = NewLabel(this, QStringLiteral("Select Directory:"));
    optRemote = new QRadioButton(QStringLiteral("Remote"), this);
    optLocal = new QRadioButton(QStringLiteral("Local"), this);
    optRemote->setChecked(true);
    chkCopy = new QCheckBox(QStringLiteral("Refresh Local from Remote"), this);
    lblProgress = NewLabel(this);
    lblProgress->SetMirrored(true);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setDefault(true);

    auto* choice = new QHBoxLayout;
    choice->addWidget(Label1);
    choice->addWidget(optRemote);
    choice->addWidget(optLocal);
    choice->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblProgress, 1);
    bottom->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1[0]);
    layout->addWidget(Frame1[1]);
    layout->addLayout(choice);
    layout->addWidget(chkCopy);
    layout->addStretch(1);
    layout->addLayout(bottom);
    // Form_Resize keeps the window at least at its design size; the layout sets no minimum of its own.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    const QSize needed = layout->sizeHint();
    resize(std::max(TwipsToPixels(kDesignWidth), needed.width()),
           std::max(TwipsToPixels(kDesignHeight), needed.height()));

    OnClick(cmdOK, &frmSetupLaptop::cmdOK_Click);
}

void frmSetupLaptop::Show(int modal, QWidget* owner) {
    if (modal != platform::vbModal || !platform::IsHeadless()) {
        Form::Show(modal, owner);
        return;
    }
    Form::Show(platform::vbModeless, owner);
    if (!IsLoaded())
        return;
    if (platform::HasTerminal()) {
        AskAtTerminal(std::cin);
    } else {
        std::fputs("-> the window is closed without OK (no terminal)\n", stderr);
        Unload();
    }
}

void frmSetupLaptop::cmdOK_Click() {
    okPressed_ = true;
    Unload();
}

void frmSetupLaptop::Form_Initialize() {
    okPressed_ = false;
    designSizeRecorded_ = false;
    designWidth_ = 0;
    designHeight_ = 0;
}

void frmSetupLaptop::Form_Load() {
    // The size is kept as the client area: before the window is first shown it has no frame yet.
    if (!designSizeRecorded_) {
        designWidth_ = PixelsToTwips(width());
        designHeight_ = PixelsToTwips(height());
        designSizeRecorded_ = true;
    }
    for (platform::Label* prompt : lblPrompts)
        prompt->SetCaption(data::kProductCode + QStringLiteral(" Data Directory"));

    data::ConnectionSettings& settings = data::Settings();
    settings.dataPath = WithTrailingSeparator(platform::GetSetting(
        data::kProductCode, kDataSection, data::kProductCode + QStringLiteral(" Data Path")));
    lblLocalKSDirectory->SetCaption(settings.dataPath);
    lblRemoteKSDirectory->SetCaption(WithTrailingSeparator(
        platform::GetSetting(data::kProductCode, kDataSection,
                             QStringLiteral("Remote ") + data::kProductCode + QStringLiteral(" Data Path"))));

    const QString siblingPath = platform::GetSetting(kSiblingProductCode, kDataSection,
                                                     kSiblingProductCode + QStringLiteral(" Data Path"));
    if (siblingPath.isEmpty()) {
        settings.zoDataPresent = false;
        return;
    }
    settings.zoDataPresent = true;
    settings.zoDataPath = WithTrailingSeparator(siblingPath);
    settings.systemDatabaseFile = settings.zoDataPath + kSystemDatabaseName;
    settings.systemConnectionString = data::JetFileConnectionString(settings.systemDatabaseFile);
}

void frmSetupLaptop::Form_Resize() {
    if (WindowState() != platform::vbNormal)
        return;
    if (PixelsToTwips(height()) < designHeight_)
        resize(width(), TwipsToPixels(designHeight_));
    if (PixelsToTwips(width()) < designWidth_)
        resize(TwipsToPixels(designWidth_), height());
}

void frmSetupLaptop::Form_Unload(int& cancel) {
    if (okPressed_) {
        ApplyChoice();
        if (chkCopy->isChecked())
            RefreshLocalCopies();
    } else {
        data::Settings().useLocalData = false;
    }
    platform::CloseForm(gfrmSetupLaptop);
}

void frmSetupLaptop::ApplyChoice() {
    data::ConnectionSettings& settings = data::Settings();
    settings.useLocalData = optLocal->isChecked();
    const QString folder =
        settings.useLocalData ? lblLocalKSDirectory->Caption() : lblRemoteKSDirectory->Caption();
    settings.dataPath = folder;
    settings.mainDatabaseFile = ProductFile(folder, QStringLiteral(".mdb"));
    settings.mainConnectionString = data::AccessMainConnectionString(settings.mainDatabaseFile);
    settings.listsDatabaseFile = ProductFile(folder, QStringLiteral("_lists.mdb"));
    settings.usersDatabaseFile = ProductFile(folder, QStringLiteral("_users.mdb"));
    settings.usersConnectionString = data::JetFileConnectionString(settings.usersDatabaseFile);
    settings.sandsDatabaseFile = ProductFile(folder, QStringLiteral("_sands.mdb"));
}

void frmSetupLaptop::RefreshLocalCopies() {
    // Idle pooled sessions keep the database files open; the copies must not meet them.
    ado::ClearConnectionPool();

    lblProgress->SetCaption(QStringLiteral("Copying Main Data Base..."));
    Refresh();
    platform::Screen::SetMousePointer(platform::vbHourglass);
    CopyDatabaseFile(data::kProductCode + QStringLiteral(".mdb"));

    lblProgress->SetCaption(QStringLiteral("Copying Users Data Base..."));
    Refresh();
    CopyDatabaseFile(data::kProductCode + QStringLiteral("_users.mdb"));

    lblProgress->SetCaption(QStringLiteral("Copying Select and Sort Data Base..."));
    Refresh();
    CopyDatabaseFile(data::kProductCode + QStringLiteral("_sands.mdb"));

    lblProgress->SetCaption(QStringLiteral("Refresh Complete"));
    Refresh();
    platform::Screen::SetMousePointer(platform::vbDefault);
}

void frmSetupLaptop::CopyDatabaseFile(const QString& fileName) {
    const QString source = lblRemoteKSDirectory->Caption() + fileName;
    const QString destination = lblLocalKSDirectory->Caption() + fileName;
    const int result = RunCopyStatement([&] { return platform::ShellCopyFile(source, destination, this); });
    if (result == platform::kShellCopyOk)
        return;
    if (result == platform::kShellCopyCancelled) {
        platform::MsgBox(QStringLiteral("Copy of ") + source + QStringLiteral(" to ") + destination +
                             QStringLiteral(" cancelled."),
                         platform::vbOKOnly + platform::vbInformation);
        return;
    }
    const int answer =
        platform::MsgBox(QStringLiteral("Copy failed with a code of ") + QString::number(result) +
                             QStringLiteral(". Press OK to do it the old fashioned way."),
                         platform::vbOKCancel + platform::vbInformation);
    if (answer == platform::vbOK)
        RunCopyStatement([&] { platform::FileCopy(source, destination); });
}

}  // namespace localrefresh
