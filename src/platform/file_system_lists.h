#pragma once
// The drive, folder and file list controls: a drive list of the drive roots, a folder list of one folder's
// place in its drive and its subfolders, and a file list of the files of one folder that match a pattern.
// Setting a list's drive or path from code raises its change event, as a click does. A window handles an
// event by giving the control its event procedure; a person's choice in a list runs it through the event
// guard (platform/event_loop.h), a statement's runs it directly.

#include <QComboBox>
#include <QListWidget>
#include <QString>

#include <functional>

namespace platform {

// The drive roots of GetDrives, one of them selected.
class DriveListBox : public QComboBox {
public:
    // Lists the drives; the selected one is the drive of the current folder, or else the first drive.
    explicit DriveListBox(QWidget* parent = nullptr);
    // The selected drive's root (ending with "/"); empty when there is no drive.
    QString Drive() const;
    // Selects the drive whose root is root (with or without its trailing "/"); raises Change when the
    // selection changes. Raises RuntimeError 68 ("Device unavailable") when no drive has that root.
    void SetDrive(const QString& root);
    // The Change event: the selected drive changed.
    void OnChange(std::function<void()> handler) { change_ = std::move(handler); }

private:
    std::function<void()> change_;
};

// A folder and its subfolders. Paths have no trailing "/" except a drive root (and "/").
class DirListBox : public QListWidget {
public:
    explicit DirListBox(QWidget* parent = nullptr);
    QString Path() const { return path_; }
    // Shows path; raises Change when it differs from the current path. An empty path empties the list.
    // Raises RuntimeError 76 ("Path not found") when path is not a folder.
    void SetPath(const QString& path);
    // The subfolders of the current path, by name.
    QStringList Subfolders() const;
    // The Change event: the path changed.
    void OnChange(std::function<void()> handler) { change_ = std::move(handler); }

private:
    void Fill();
    QString path_;
    std::function<void()> change_;
};

// The files of one folder that match the pattern ("KS.mdb", "*.mdb;*.ldb"), compared without regard to case.
class FileListBox : public QListWidget {
public:
    explicit FileListBox(QWidget* parent = nullptr);
    QString Path() const { return path_; }
    // Lists the files of path; raises PathChange when it differs from the current path.
    void SetPath(const QString& path);
    QString Pattern() const { return pattern_; }
    // Lists the files matching pattern (";" separates patterns).
    void SetPattern(const QString& pattern);
    int ListCount() const { return count(); }
    // The PathChange event.
    void OnPathChange(std::function<void()> handler) { pathChange_ = std::move(handler); }

private:
    void Fill();
    QString path_;
    QString pattern_ = QStringLiteral("*");
    std::function<void()> pathChange_;
};

// A folder path as the lists keep it: cleaned, without a trailing "/" unless it is a drive root or "/".
QString ListPath(const QString& path);

}  // namespace platform
