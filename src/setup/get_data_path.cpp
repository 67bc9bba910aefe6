// The data-location dialog: its layout, its life, the lists, OK and Cancel.
#include "setup/get_data_path.h"

#include "platform/window_closing.h"
#include "data/connection_settings.h"
#include "platform/application.h"
#include "platform/msgbox.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "setup/generic_tools.h"

#include <QFont>

namespace setup {

namespace {

using platform::TwipsToPixels;

const QString kSystemDatabaseName = QStringLiteral("HVSYS.MDB");
const QString kSystemProductCode = QStringLiteral("ZO");
const QString kDataSection = QStringLiteral("Data");

// Places a control at left, top with width x height, all in twips.
void Place(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                         TwipsToPixels(height));
}

platform::Label* NewLabel(QWidget* parent, const QString& caption) {
    auto* label = new platform::Label(parent);
    label->setText(caption);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* NewButton(QWidget* parent, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    return button;
}

// The server's catalog of a product: "Kestrane" for KS, "Brellion" for BR, none for another product.
QString CatalogOf(const QString& product) {
    if (product == data::kProductCode)
        return data::kServerCatalog;
    if (product == QLatin1String("BR"))
        return QStringLiteral("Brellion");
    return {};
}

// The main connection string of a product whose data lives on serverName: integrated security when its
// "Trusted Connection" is "Yes", else the login with its user ID and password.
QString ServerConnectionStringOf(const QString& product, const QString& serverName) {
    const QString catalog = CatalogOf(product);
    const QString trusted = platform::GetSetting(product, kDataSection, QStringLiteral("Trusted Connection"),
                                                 QStringLiteral("No"));
    if (trusted == QLatin1String("Yes"))
        return data::ServerIntegratedConnectionString(serverName, catalog);
    const QString userId = platform::GetSetting(product, kDataSection, QStringLiteral("Server User ID"));
    const QString password = platform::GetSetting(product, kDataSection, QStringLiteral("Server Password"));
    return data::ServerLoginConnectionString(serverName, userId, password, catalog);
}

}  // namespace

GetDataPath::GetDataPath() {
    SetCaption(QStringLiteral("Get Database Location"));
    SetClientSize(7800, 5160);

    Label3 = NewLabel(this, QStringLiteral("WARNING:"));
    QFont warning = Label3->font();
    warning.setBold(true);
    Label3->setFont(warning);
    Label3->setStyleSheet(QStringLiteral("color: #c00000;"));
    Place(Label3, 120, 120, 1080, 255);
    Label4 =
        NewLabel(this, QStringLiteral("This is part of the Setup procedure for your computer. Please contact "
                                      "your System Administrator on instructions to procede or click Cancel "
                                      "to quit for now."));
    Place(Label4, 1200, 120, 6480, 615);

    Label5 = NewLabel(this, QStringLiteral("Select Drive:"));
    Place(Label5, 120, 840, 3600, 255);
    Drive1 = new platform::DriveListBox(this);
    Place(Drive1, 120, 1095, 3600, 375);
    Label6 = NewLabel(this, QStringLiteral("Select Folder:"));
    Place(Label6, 120, 1560, 3600, 255);
    Dir1 = new platform::DirListBox(this);
    Place(Dir1, 120, 1815, 3600, 2295);

    Label1 =
        NewLabel(this, QStringLiteral("The database file name will appear below when you have selected a "
                                      "folder in which it exists."));
    Place(Label1, 3960, 840, 3720, 720);
    File1 = new platform::FileListBox(this);
    File1->SetPattern(QStringLiteral("hvsys.mdb"));
    Place(File1, 3960, 1560, 3720, 1530);

    cmdOK = NewButton(this, QStringLiteral("&OK"));
    Place(cmdOK, 3960, 3240, 1800, 375);
    cmdCancel = NewButton(this, QStringLiteral("Cancel"));
    Place(cmdCancel, 5880, 3240, 1800, 375);
    cmdLocate = NewButton(this, QStringLiteral("&Locate"));
    Place(cmdLocate, 3960, 3735, 1800, 375);
    cmdCDInstall = NewButton(this, QStringLiteral("&CD Install"));
    Place(cmdCDInstall, 5880, 3735, 1800, 375);

    Label2 = NewLabel(this, QStringLiteral("Data Path:"));
    Place(Label2, 120, 4320, 3600, 255);
    txtDataPath = new QLineEdit(this);
    Place(txtDataPath, 120, 4575, 7560, 375);

    Drive1->OnChange([this] { Drive1_Change(); });
    Dir1->OnChange([this] { Dir1_Change(); });
    File1->OnPathChange([this] { File1_PathChange(); });
    OnClick(cmdOK, &GetDataPath::cmdOK_Click);
    OnClick(cmdCancel, &GetDataPath::cmdCancel_Click);
    OnClick(cmdLocate, &GetDataPath::cmdLocate_Click);
    OnClick(cmdCDInstall, &GetDataPath::cmdCDInstall_Click);
}

void GetDataPath::Show(int modal, QWidget* owner) {
    if (modal != platform::vbModal || !platform::IsHeadless()) {
        Form::Show(modal, owner);
        return;
    }
    Form::Show(platform::vbModeless, owner);
    if (!IsLoaded())
        return;
    if (platform::HasTerminal()) {
        AskAtTerminal();
    } else {
        cmdCancel_Click();
    }
}

void GetDataPath::Form_Initialize() {
    activated_ = false;
    designSizeRecorded_ = false;
}

void GetDataPath::Form_Load() {
    // The design size is kept as the client area: before the window is first shown it has no frame yet.
    if (!designSizeRecorded_) {
        designWidth_ = platform::PixelsToTwips(width());
        designHeight_ = platform::PixelsToTwips(height());
        designSizeRecorded_ = true;
    }
    Dir1->SetPath(Drive1->Drive());
    if (dbApp.isEmpty())
        dbApp = data::kProductCode;
    platform::Screen::SetMousePointer(platform::vbDefault);
}

void GetDataPath::Form_Activate() {
    if (activated_)
        return;
    activated_ = true;
    // Everything up to the last folder separator goes, unless the name ends with one.
    for (;;) {
        const qsizetype separator = dbFile.indexOf(QLatin1Char('/'));
        if (separator < 0 || separator == dbFile.size() - 1)
            break;
        dbFile = dbFile.mid(separator + 1);
    }
    File1->SetPattern(dbFile);
    Label1->SetCaption(QStringLiteral("The ") + dbFile +
                       QStringLiteral(" file name will appear below when you have selected a directory in "
                                      "which it exists."));
    SetCaption(QStringLiteral("Get ") + dbFile + QStringLiteral(" Database Location"));
}

void GetDataPath::Form_Resize() {
    if (WindowState() != platform::vbNormal || !designSizeRecorded_)
        return;
    if (platform::PixelsToTwips(width()) < designWidth_)
        resize(TwipsToPixels(designWidth_), height());
    if (platform::PixelsToTwips(height()) < designHeight_)
        resize(width(), TwipsToPixels(designHeight_));
}

void GetDataPath::Form_Unload(int& cancel) {
    platform::CloseForm(gGetDataPath);
}

void GetDataPath::Drive1_Change() {
    Dir1->SetPath(Drive1->Drive());
}

void GetDataPath::Dir1_Change() {
    File1->SetPath(Dir1->Path());
    Refresh();
    txtDataPath->setText(File1->ListCount() > 0 ? Dir1->Path() : QString());
}

void GetDataPath::File1_PathChange() {
    txtDataPath->setText(File1->ListCount() > 0 ? File1->Path() : QString());
}

void GetDataPath::cmdOK_Click() {
    if (!txtDataPath->text().endsWith(QLatin1Char('/')))
        txtDataPath->setText(txtDataPath->text() + QLatin1Char('/'));
    const QString folder = txtDataPath->text();
    data::ConnectionSettings& settings = data::Settings();

    if (dbFile == kSystemDatabaseName && dbApp != kSystemProductCode) {
        settings.zoDataPath = folder;
        settings.systemDatabaseFile = folder + QStringLiteral("hvsys.mdb");
        settings.systemConnectionString = data::JetFileConnectionString(settings.systemDatabaseFile);
        ClearFileAttributes(settings.systemDatabaseFile);
        platform::SaveSetting(kSystemProductCode, kDataSection, QStringLiteral("ZO Data Path"), folder);
    } else {
        const QString& product = dbApp;
        settings.dataPath = folder;
        settings.mainDatabaseFile = folder + product + QStringLiteral(".mdb");
        if (dbFile.compare(product + QStringLiteral(".mdb"), Qt::CaseInsensitive) == 0) {
            const QString serverName =
                platform::GetSetting(product, kDataSection, QStringLiteral("Server Name"));
            settings.mainConnectionString = serverName.isEmpty()
                                                ? data::AccessMainConnectionString(settings.mainDatabaseFile)
                                                : ServerConnectionStringOf(product, serverName);
        }
        ClearFileAttributes(settings.mainDatabaseFile);
        settings.usersDatabaseFile = folder + product + QStringLiteral("_users.mdb");
        ClearFileAttributes(settings.usersDatabaseFile);
        settings.usersConnectionString = data::JetFileConnectionString(settings.usersDatabaseFile);
        settings.listsDatabaseFile = folder + product + QStringLiteral("_lists.mdb");
        ClearFileAttributes(settings.listsDatabaseFile);
        settings.sandsDatabaseFile = folder + product + QStringLiteral("_sands.mdb");
        ClearFileAttributes(settings.sandsDatabaseFile);
        if (!folder.isEmpty() && folder != QLatin1String("/")) {
            platform::SaveSetting(product, kDataSection, product + QStringLiteral(" Data Path"), folder);
        } else {
            platform::MsgBox(QStringLiteral("ERROR KS-4: Saving ") + product + QStringLiteral(" Data Path") +
                                 QStringLiteral(" to registry failed with value of '") + folder +
                                 QStringLiteral("'."),
                             platform::vbOKOnly + platform::vbCritical);
        }
    }
    Unload();
}

void GetDataPath::cmdCancel_Click() {
    Unload();
    platform::MsgBox(QStringLiteral("This must be set up before you may use the application."),
                     platform::vbOKOnly + platform::vbCritical,
                     QStringLiteral("Halvermoor Software Solutions Setup"));
    platform::UnloadAllForms();
}

void GetDataPath::EnableButtons(bool enabled) {
    for (QPushButton* button : {cmdOK, cmdCancel, cmdCDInstall, cmdLocate})
        button->setEnabled(enabled);
}

void ShowGetDataPath(const QString& dbFile) {
    gGetDataPath->Load();
    gGetDataPath->dbFile = dbFile;
    gGetDataPath->Show(platform::vbModal);
}

}  // namespace setup
