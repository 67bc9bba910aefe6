// The data-location dialog at a terminal: it shows what the window shows and reads the user's choice line by
// line, running the window's own event procedures, until the dialog is unloaded.
#include "platform/application.h"
#include "platform/drives.h"
#include "setup/get_data_path.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <iostream>
#include <string>

namespace setup {

namespace {

void Write(const QString& text) {
    std::fputs(platform::TerminalText(text).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

QString TypeName(int type) {
    switch (type) {
        case platform::kDriveRemovable:
            return QStringLiteral("removable");
        case platform::kDriveRemote:
            return QStringLiteral("network");
        case platform::kDriveCdRom:
            return QStringLiteral("CD-ROM");
        default:
            return QStringLiteral("fixed");
    }
}

QString DriveSummary() {
    QStringList drives;
    for (const platform::Drive& drive : platform::GetDrives())
        drives << drive.root + QStringLiteral(" (") + TypeName(drive.type) + QLatin1Char(')');
    return drives.isEmpty() ? QStringLiteral("none") : drives.join(QStringLiteral(", "));
}

bool Typed(const QString& typed, const char* command) {
    return typed.compare(QLatin1String(command), Qt::CaseInsensitive) == 0;
}

}  // namespace

void GetDataPath::AskAtTerminal() {
    Write(
        QStringLiteral("== ") + Caption() + QStringLiteral(" ==\n") + Label3->Caption() + QLatin1Char(' ') +
        Label4->Caption() + QLatin1Char('\n') + Label1->Caption() + QLatin1Char('\n') +
        QStringLiteral("Drives: ") + DriveSummary() + QLatin1Char('\n') +
        QStringLiteral("Type the folder that holds ") + dbFile +
        QStringLiteral(", \"locate\" to search the drives for it, \"cd\" to install the data files from the "
                       "release CD, \"ok\" to use the data path shown, or \"cancel\" to quit.\n"));
    while (IsLoaded()) {
        // With every button disabled (no drives to search) a person can only close the window.
        if (!cmdOK->isEnabled() && !cmdCancel->isEnabled() && !cmdLocate->isEnabled() &&
            !cmdCDInstall->isEnabled()) {
            Write(QStringLiteral("-> the window is closed\n"));
            Unload();
            break;
        }
        const QString dataPath = txtDataPath->text();
        Write(QStringLiteral("Data Path: ") + dataPath + QLatin1Char('\n') + QStringLiteral("Folder? ") +
              (dataPath.isEmpty() ? QString() : QStringLiteral("[ok] ")));
        std::string line;
        if (!std::getline(std::cin, line)) {
            Write(QStringLiteral("\n-> cancel (end of input)\n"));
            cmdCancel_Click();
            break;
        }
        const QString typed = QString::fromLocal8Bit(line).trimmed();
        if (Typed(typed, "cancel")) {
            cmdCancel_Click();
        } else if (Typed(typed, "locate")) {
            cmdLocate_Click();
        } else if (Typed(typed, "cd")) {
            cmdCDInstall_Click();
        } else if (Typed(typed, "ok") || (typed.isEmpty() && !dataPath.isEmpty())) {
            cmdOK_Click();
        } else if (!typed.isEmpty()) {
            const QFileInfo folder(typed.startsWith(QStringLiteral("~/")) ? QDir::homePath() + typed.mid(1)
                                                                          : typed);
            if (!folder.isDir()) {
                Write(QStringLiteral("There is no folder ") + typed + QStringLiteral(".\n"));
                continue;
            }
            // As a person would with the lists: the folder's drive, then the folder.
            const QString drive = platform::DriveRootOf(folder.absoluteFilePath());
            if (!drive.isEmpty())
                Drive1->SetDrive(drive);
            Dir1->SetPath(folder.absoluteFilePath());
            if (txtDataPath->text().isEmpty()) {
                Write(dbFile + QStringLiteral(" is not in ") + Dir1->Path() + QStringLiteral(".\n"));
            } else {
                cmdOK_Click();
            }
        }
    }
}

}  // namespace setup
