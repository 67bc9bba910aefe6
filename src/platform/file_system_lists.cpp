#include "platform/file_system_lists.h"

#include "platform/drives.h"
#include "platform/event_loop.h"
#include "platform/runtime_error.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>

namespace platform {

namespace {

constexpr int32_t kErrDeviceUnavailable = 68;
constexpr int32_t kErrPathNotFound = 76;

// Indentation of one folder level in the folder list.
const QString kLevelIndent = QStringLiteral("   ");

QString WithoutTrailingSlash(const QString& root) {
    return root.size() > 1 && root.endsWith(QLatin1Char('/')) ? root.chopped(1) : root;
}

QIcon StandardIcon(QStyle::StandardPixmap pixmap) {
    return QApplication::style() ? QApplication::style()->standardIcon(pixmap) : QIcon();
}

}  // namespace

QString ListPath(const QString& path) {
    if (path.isEmpty())
        return {};
    const QString cleaned = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (cleaned == QLatin1String("/"))
        return cleaned;
    const QString asRoot = cleaned + QLatin1Char('/');
    return DriveRootOf(asRoot) == asRoot ? asRoot : cleaned;
}

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
    for (const platform::Drive& drive : GetDrives())
        addItem(drive.root);
    const int current = findText(DriveRootOf(QDir::currentPath()));
    setCurrentIndex(current >= 0 ? current : (count() > 0 ? 0 : -1));
    connect(this, &QComboBox::currentIndexChanged, this, EventProcedure([this] {
                if (change_)
                    change_();
            }));
}

QString DriveListBox::Drive() const {
    return currentText();
}

void DriveListBox::SetDrive(const QString& root) {
    const QString wanted = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const int index = findText(wanted);
    if (index < 0)
        throw RuntimeError(kErrDeviceUnavailable, QStringLiteral("Device unavailable"));
    setCurrentIndex(index);
}

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    // Opening a folder of the list (double click or Enter) makes it the path.
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        RunEventProcedure([&] { SetPath(item->data(Qt::UserRole).toString()); });
    });
}

void DirListBox::SetPath(const QString& path) {
    const QString wanted = ListPath(path);
    if (!wanted.isEmpty() && !QFileInfo(wanted).isDir())
        throw RuntimeError(kErrPathNotFound, QStringLiteral("Path not found"));
    const bool changed = wanted != path_;
    path_ = wanted;
    Fill();
    if (changed && change_)
        change_();
}

QStringList DirListBox::Subfolders() const {
    if (path_.isEmpty())
        return {};
    return QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

void DirListBox::Fill() {
    clear();
    if (path_.isEmpty())
        return;
    // The open folders from the drive's root down to the path, then the path's subfolders.
    QString root = DriveRootOf(path_);
    if (root.isEmpty())
        root = QStringLiteral("/");
    QStringList chain{WithoutTrailingSlash(root)};
    QString walked = root;
    for (const QString& part : path_.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked += part;
        chain << walked;
        walked += QLatin1Char('/');
    }
    int level = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& folder : chain) {
        const QString name = level == 0 ? root : QFileInfo(folder).fileName();
        current = new QListWidgetItem(StandardIcon(QStyle::SP_DirOpenIcon),
                                      kLevelIndent.repeated(level) + name, this);
        current->setData(Qt::UserRole, folder);
        ++level;
    }
    const QString prefix = path_.endsWith(QLatin1Char('/')) ? path_ : path_ + QLatin1Char('/');
    for (const QString& sub : Subfolders()) {
        auto* item = new QListWidgetItem(StandardIcon(QStyle::SP_DirClosedIcon),
                                         kLevelIndent.repeated(level) + sub, this);
        item->setData(Qt::UserRole, prefix + sub);
    }
    setCurrentItem(current);
}

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {}

void FileListBox::SetPath(const QString& path) {
    const QString wanted = ListPath(path);
    const bool changed = wanted != path_;
    path_ = wanted;
    Fill();
    if (changed && pathChange_)
        pathChange_();
}

void FileListBox::SetPattern(const QString& pattern) {
    pattern_ = pattern;
    Fill();
}

void FileListBox::Fill() {
    clear();
    if (path_.isEmpty())
        return;
    QDir folder(path_);
    // Name filters compare without regard to case unless told otherwise.
    folder.setNameFilters(pattern_.split(QLatin1Char(';'), Qt::SkipEmptyParts));
    folder.setFilter(QDir::Files);
    folder.setSorting(QDir::Name | QDir::IgnoreCase);
    addItems(folder.entryList());
}

}  // namespace platform
