// The installation of the product's initial data files from the release CD into the fixed folder tree on the
// drive selected in the dialog.
#include "data/connection_settings.h"
#include "platform/application.h"
#include "platform/drives.h"
#include "platform/file_copy.h"
#include "platform/file_lookup.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/settings.h"
#include "platform/shell_copy.h"
#include "setup/generic_tools.h"
#include "setup/get_data_path.h"

#include <QFile>

#include <cerrno>

#include <dirent.h>

namespace setup {

namespace {

constexpr int32_t kErrDeviceIO = 57;
constexpr int32_t kErrPathFileAccess = 75;

const QString kCR = QStringLiteral("\r");
const QString kLF = QStringLiteral("\n");
const QString kSystemProductCode = QStringLiteral("ZO");
const QString kSystemDatabaseName = QStringLiteral("HVSYS.MDB");
const QString kDataSection = QStringLiteral("Data");
const QString kTargetTree = QStringLiteral("Halvermoor Software/");

enum class CopyOutcome { ShellCopied, PlainCopied, Cancelled, NotCopied };

bool Succeeded(CopyOutcome outcome) {
    return outcome == CopyOutcome::ShellCopied || outcome == CopyOutcome::PlainCopied;
}

// The folder of a product's initial data files on the release medium, below the medium's root.
QString ReleaseFolder(const QString& product) {
    return platform::AppTitle() + QStringLiteral(" Release/") + product +
           QStringLiteral(" Initialized Data Files/");
}

// Raises the error that reading the root of a CD-ROM drive meets: 52 for a drive without a readable disc,
// 57 for a device error, 75 for anything else.
void CheckDriveReadable(const QString& root) {
    DIR* folder = ::opendir(QFile::encodeName(root).constData());
    if (folder != nullptr) {
        ::closedir(folder);
        return;
    }
    const int failure = errno;
    if (failure == ENOENT || failure == ENOTDIR || failure == ENOMEDIUM)
        throw platform::RuntimeError(platform::kErrBadFileNameOrNumber,
                                     QStringLiteral("Bad file name or number"));
    if (failure == EIO)
        throw platform::RuntimeError(kErrDeviceIO, QStringLiteral("Device I/O error"));
    throw platform::RuntimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
}

// The release folder on the CD-ROM drive root when it holds the product's main file (names without regard to
// case), else empty. An unreadable drive is passed over without a word when it holds no disc; any other error
// is shown, OK trying again and Cancel passing the drive over.
QString FindReleaseFolderOn(const QString& root, const QString& product) {
    for (;;) {
        try {
            CheckDriveReadable(root);
            const QString folder = platform::FindIgnoringCase(root, ReleaseFolder(product));
            if (folder.isEmpty() ||
                platform::FindFileIgnoringCase(folder, product + QStringLiteral(".mdb")).isEmpty()) {
                return {};
            }
            return folder + QLatin1Char('/');
        } catch (const platform::RuntimeError& error) {
            if (error.Number() == platform::kErrBadFileNameOrNumber)
                return {};
            const int answer = platform::MsgBox(
                QStringLiteral("Error: ") + QString::number(error.Number()) + kCR + kCR + error.Description(),
                platform::vbOKCancel);
            if (answer != platform::vbOK)
                return {};
        }
    }
}

// The file on the medium named name without regard to case, or folder + name as written when it is not there.
QString SourceFile(const QString& folder, const QString& relativePath) {
    const QString found = platform::FindIgnoringCase(folder, relativePath);
    return found.isEmpty() ? folder + relativePath : found;
}

// The shell copy, asked again while a file is busy; a cancelled or failed copy is told to the user, and a
// failed one may be done by a plain copy instead. Ends the program when the user gives up on a busy file or
// the copy raises any other error.
CopyOutcome CopyStep(const QString& source, const QString& target, QWidget* owner) {
    int result = platform::kShellCopyOk;
    for (;;) {
        try {
            result = platform::ShellCopyFile(source, target, owner);
            break;
        } catch (const platform::RuntimeError& error) {
            if (error.Number() == platform::kErrPermissionDenied) {
                const int answer = platform::MsgBox(
                    QStringLiteral("File cannot be copied because it is in use.") + kLF +
                        QStringLiteral("Make sure everyone has exited ") + platform::AppTitle() +
                        QStringLiteral(" then press OK or press Cancel to exit."),
                    platform::vbOKCancel + platform::vbCritical);
                if (answer == platform::vbOK)
                    continue;
                throw platform::EndProgram(QStringLiteral("A file to copy was in use."));
            }
            platform::MsgBox(QStringLiteral("Error #") + QString::number(error.Number()) +
                                 QStringLiteral(" while trying to copy.") + kLF + error.Description() +
                                 QStringLiteral("Contact your System Administrator if this continues.") +
                                 kLF + QStringLiteral("Terminating application."),
                             platform::vbOKOnly + platform::vbCritical);
            throw platform::EndProgram(error.Description());
        }
    }
    if (result == platform::kShellCopyOk)
        return CopyOutcome::ShellCopied;
    if (result == platform::kShellCopyCancelled) {
        platform::MsgBox(QStringLiteral("Copy of ") + source + QStringLiteral(" to ") + target +
                             QStringLiteral(" cancelled."),
                         platform::vbOKOnly + platform::vbInformation);
        return CopyOutcome::Cancelled;
    }
    const int answer =
        platform::MsgBox(QStringLiteral("Copy failed with a code of ") + QString::number(result) +
                             QStringLiteral(". Press OK to do it the old fashioned way."),
                         platform::vbOKCancel + platform::vbInformation);
    if (answer != platform::vbOK)
        return CopyOutcome::NotCopied;
    platform::FileCopy(source, target);
    return CopyOutcome::PlainCopied;
}

}  // namespace

void GetDataPath::cmdCDInstall_Click() {
    const QString title = platform::AppTitle();
    if (platform::MsgBox(QStringLiteral("Insert your ") + title +
                             QStringLiteral(" release CD into your computer now.") + kCR + kCR +
                             QStringLiteral("Press OK when you are ready to proceed."),
                         platform::vbOKCancel) == platform::vbCancel) {
        return;
    }
    EnableButtons(false);
    const QString driveList = GetLogicalDriveList();
    if (driveList.isEmpty()) {
        platform::MsgBox(QStringLiteral("No Drives were found!"), platform::vbOKOnly + platform::vbCritical);
        EnableButtons(true);
        return;
    }
    QString releaseFolder;
    qsizetype position = 0;
    for (QString drive = NextDriveRoot(driveList, position); !drive.isEmpty() && releaseFolder.isEmpty();
         drive = NextDriveRoot(driveList, position)) {
        if (platform::GetDriveType(drive) == platform::kDriveCdRom)
            releaseFolder = FindReleaseFolderOn(drive, dbApp);
    }
    if (releaseFolder.isEmpty()) {
        platform::MsgBox(title + QStringLiteral(" Release CD was not found. No files copied."),
                         platform::vbOKOnly + platform::vbCritical);
        EnableButtons(true);
        return;
    }
    const bool installed = CopyReleaseCDFiles(releaseFolder);
    EnableButtons(true);
    if (installed)
        Unload();
}

bool GetDataPath::CopyReleaseCDFiles(const QString& folder) {
    const QString& product = dbApp;
    const bool isSystemProduct = product == kSystemProductCode;
    data::ConnectionSettings& settings = data::Settings();
    // The files keep the names the program opens them by; on the medium they are found whatever their case.
    const QString productFolder = Drive1->Drive() + kTargetTree + product + QLatin1Char('/');
    const QString systemFolder = Drive1->Drive() + kTargetTree + kSystemProductCode + QLatin1Char('/');
    bool result = false;

    const QString mainTarget =
        productFolder + (isSystemProduct ? kSystemDatabaseName : product + QStringLiteral(".mdb"));
    platform::Screen::SetMousePointer(platform::vbHourglass);
    const CopyOutcome main =
        CopyStep(SourceFile(folder, isSystemProduct ? kSystemDatabaseName : product + QStringLiteral(".MDB")),
                 mainTarget, this);
    if (main == CopyOutcome::Cancelled)
        return result;
    if (Succeeded(main)) {
        settings.mainDatabaseFile = mainTarget;
        ClearFileAttributes(mainTarget);
    }

    const QString usersTarget = productFolder + product + QStringLiteral("_users.mdb");
    const CopyOutcome users =
        CopyStep(SourceFile(folder, product + QStringLiteral("_USERS.MDB")), usersTarget, this);
    if (users == CopyOutcome::Cancelled)
        return result;
    if (Succeeded(users)) {
        settings.usersDatabaseFile = usersTarget;
        settings.usersConnectionString = data::JetFileConnectionString(usersTarget);
        ClearFileAttributes(usersTarget);
    }

    const QString sandsTarget = productFolder + product + QStringLiteral("_sands.mdb");
    const CopyOutcome sands =
        CopyStep(SourceFile(folder, product + QStringLiteral("_SANDS.MDB")), sandsTarget, this);
    if (sands == CopyOutcome::Cancelled)
        return result;
    if (Succeeded(sands)) {
        result = true;
        ClearFileAttributes(sandsTarget);
        if (!productFolder.isEmpty() && productFolder != QLatin1String("/")) {
            platform::SaveSetting(product, kDataSection, product + QStringLiteral(" Data Path"),
                                  productFolder);
        } else {
            const QString code =
                sands == CopyOutcome::ShellCopied ? QStringLiteral("3") : QStringLiteral("2");
            platform::MsgBox(QStringLiteral("ERROR KS-") + code + QStringLiteral(": Saving ") + product +
                                 QStringLiteral(" Data Path") +
                                 QStringLiteral(" to registry failed with value of '") + productFolder +
                                 QStringLiteral("'."),
                             platform::vbOKOnly + platform::vbCritical);
        }
        settings.sandsDatabaseFile = sandsTarget;
        settings.dataPath = productFolder;
        settings.zoDataPath.clear();
        settings.systemDatabaseFile.clear();
    }

    if (!isSystemProduct) {
        const QString source = SourceFile(platform::DriveRootOf(folder),
                                          ReleaseFolder(kSystemProductCode) + kSystemDatabaseName);
        const QString systemTarget = systemFolder + kSystemDatabaseName;
        if (Succeeded(CopyStep(source, systemTarget, this))) {
            result = true;
            platform::SaveSetting(kSystemProductCode, kDataSection, QStringLiteral("ZO Data Path"),
                                  systemFolder);
            ClearFileAttributes(systemTarget);
            settings.zoDataPath = systemFolder;
            settings.systemDatabaseFile = systemTarget;
            settings.systemConnectionString = data::JetFileConnectionString(systemTarget);
        }
    }
    platform::Screen::SetMousePointer(platform::vbDefault);
    return result;
}

}  // namespace setup
