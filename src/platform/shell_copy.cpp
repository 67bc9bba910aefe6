// The shell's copy of one file: the question before replacing a file, the target folder made when missing,
// and the copy itself with its progress shown in a window, or as lines on standard output without a display.
#include "platform/shell_copy.h"

#include "platform/application.h"
#include "platform/event_loop.h"
#include "platform/file_copy.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"

#include <QApplication>
#include <QFileInfo>
#include <QProgressDialog>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

#include <sys/stat.h>

namespace platform {

namespace {

// The progress window's scale: a file's size may not fit the dialog's int range.
constexpr int kProgressSteps = 1000;
// The window appears only for a copy that takes longer than this.
constexpr int kProgressWindowDelayMs = 500;
// Without a display, a line for every tenth of the file.
constexpr int kPercentPerLine = 10;

[[noreturn]] void RaisePermissionDenied() {
    throw RuntimeError(kErrPermissionDenied, QStringLiteral("Permission denied"));
}

// The result number of a failure: its errno, but never the numbers that mean success or a cancel.
int ResultOf(int failure) {
    if (failure == ECANCELED)
        return kShellCopyCancelled;
    if (IsBusyOrDenied(failure))
        RaisePermissionDenied();
    return failure == kShellCopyOk || failure == kShellCopyCancelled ? EIO : failure;
}

// Asks before target is replaced; true to go on.
bool ConfirmReplace(const QString& source, const QString& target) {
    const QString text = QStringLiteral("This folder already contains a file named '") +
                         QFileInfo(target).fileName() + QStringLiteral("'.\n\n") +
                         QStringLiteral("Would you like to replace the existing file\n\n    ") + target +
                         QStringLiteral("\n\nwith this one?\n\n    ") + source;
    return MsgBox(text, vbYesNo + vbQuestion, QStringLiteral("Confirm File Replace")) == vbYes;
}

// Creates the target's folder when it is missing; 0 or an errno.
int MakeTargetFolder(const QString& target) {
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(QFileInfo(target).absolutePath()).toStdString()), error);
    return error ? error.value() : 0;
}

// What the user sees of a copy; Update returns false when the user cancelled.
class Progress {
public:
    virtual ~Progress() = default;
    virtual bool Update(int64_t copied, int64_t total) = 0;
};

// Progress as the shell shows it: a window with a Cancel button.
class ProgressWindow : public Progress {
public:
    ProgressWindow(const QString& source, const QString& target, QWidget* owner)
        : dialog_(QStringLiteral("Copying '") + QFileInfo(source).fileName() + QStringLiteral("'\nFrom '") +
                      QFileInfo(source).absolutePath() + QStringLiteral("' to '") +
                      QFileInfo(target).absolutePath() + QStringLiteral("'"),
                  QStringLiteral("Cancel"), 0, kProgressSteps, owner) {
        dialog_.setWindowTitle(QStringLiteral("Copying..."));
        dialog_.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
        dialog_.setMinimumDuration(kProgressWindowDelayMs);
        dialog_.setAutoClose(true);
        dialog_.setValue(0);
    }
    bool Update(int64_t copied, int64_t total) override {
        EventLoopScope scope;
        dialog_.setValue(total > 0 ? static_cast<int>(copied * kProgressSteps / total) : kProgressSteps);
        QApplication::processEvents();
        scope.End();
        return !dialog_.wasCanceled();
    }

private:
    QProgressDialog dialog_;
};

// Progress without a display: a line when the copy starts and one for each tenth of the file.
class ProgressLines : public Progress {
public:
    ProgressLines(const QString& source, const QString& target) {
        WriteStatusLine(QStringLiteral("Copying ") + source + QStringLiteral(" to ") + target);
        name_ = QFileInfo(target).fileName();
    }
    bool Update(int64_t copied, int64_t total) override {
        const int percent = total > 0 ? static_cast<int>(copied * 100 / total) : 100;
        const int reached = percent / kPercentPerLine * kPercentPerLine;
        if (reached > shown_) {
            shown_ = reached;
            WriteStatusLine(name_ + QStringLiteral(": ") + QString::number(reached) +
                            QStringLiteral("% copied"));
        }
        return true;
    }

private:
    QString name_;
    int shown_ = 0;
};

bool CanShowWindow() {
    return !IsHeadless() && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

int ShellCopyFile(const QString& source, const QString& target, QWidget* owner) {
    struct stat status {};
    if (::stat(QFile::encodeName(source).constData(), &status) != 0)
        return ResultOf(errno);
    if (QFileInfo::exists(target) && !ConfirmReplace(source, target))
        return kShellCopyCancelled;
    if (const int failure = MakeTargetFolder(target))
        return ResultOf(failure);

    std::unique_ptr<Progress> progress;
    if (CanShowWindow()) {
        progress = std::make_unique<ProgressWindow>(source, target, owner);
    } else {
        progress = std::make_unique<ProgressLines>(source, target);
    }
    const int failure = CopyFileInChunks(
        source, target, [&](int64_t copied, int64_t total) { return progress->Update(copied, total); });
    return failure == 0 ? kShellCopyOk : ResultOf(failure);
}

}  // namespace platform
