#include "setup_fixture.h"

#include "platform/screen.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace setuptest {

void SetupTest::TearDown() {
    if (!setup::gGetDataPath.IsEmpty() && setup::gGetDataPath->IsLoaded())
        setup::gGetDataPath->Unload();
    setup::gGetDataPath.Reset();
    platform::Screen::DoEvents();
    platform::UseSystemDrives();
}

QString SetupTest::Folder(const QString& relative) {
    const QString folder = QDir::cleanPath(env_.Dir() + QLatin1Char('/') + relative) + QLatin1Char('/');
    EXPECT_TRUE(QDir().mkpath(folder)) << folder.toStdString();
    return folder;
}

void SetupTest::MakeFiles(const QString& folder, const QStringList& names) {
    QDir().mkpath(folder);
    for (const QString& name : names) {
        QFile file(QDir(folder).filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << file.fileName().toStdString();
    }
}

void SetupTest::MakeReadOnly(const QString& path) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0) << path.toStdString();
}

bool SetupTest::IsOwnerWritable(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && (status.st_mode & S_IWUSR) != 0;
}

void SetupTest::UseDrives(const std::vector<platform::Drive>& relativeDrives) {
    std::vector<platform::Drive> drives;
    for (const platform::Drive& drive : relativeDrives)
        drives.push_back({Folder(drive.root), drive.type});
    platform::SetDrives(drives);
}

setup::GetDataPath& SetupTest::OpenDialog(const QString& dbFile, const QString& dbApp) {
    setup::GetDataPath& dialog = *setup::gGetDataPath;
    dialog.Load();
    dialog.dbFile = dbFile;
    dialog.dbApp = dbApp.isEmpty() ? dialog.dbApp : dbApp;
    dialog.Show(platform::vbModeless);
    return dialog;
}

QStringList SetupTest::Shown() {
    QStringList texts;
    for (const platform::MessageBoxRequest& box : env_.Answers().Shown())
        texts << box.text;
    return texts;
}

void SetupTest::Answer(std::initializer_list<int> answers) {
    for (int answer : answers)
        env_.Answers().Push(answer);
}

}  // namespace setuptest
