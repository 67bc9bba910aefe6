#pragma once
// What the set-up tests start from: the program's environment (settings in a temporary folder, a virtual
// clock, scripted message boxes), drives that are folders of that folder, and the data-location dialog.
#include "platform/drives.h"
#include "platform/msgbox.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"
#include "support/program_environment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <deque>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace setuptest {

using namespace Qt::StringLiterals;

class SetupTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!setup::gGetDataPath.IsEmpty() && setup::gGetDataPath->IsLoaded())
            setup::gGetDataPath->Unload();
        setup::gGetDataPath.Reset();
        platform::Screen::DoEvents();
        platform::UseSystemDrives();
    }
    testsupport::ProgramEnvironment& Env() { return env_; }
    // The folder below the test's own folder (created), ending with "/".
    QString Folder(const QString& relative) {
        const QString folder = QDir::cleanPath(env_.Dir() + u'/' + relative) + u'/';
        EXPECT_TRUE(QDir().mkpath(folder)) << folder.toStdString();
        return folder;
    }
    // Empty files of those names in folder (created).
    void MakeFiles(const QString& folder, const QStringList& names) {
        QDir().mkpath(folder);
        for (const QString& name : names)
            EXPECT_TRUE(QFile(QDir(folder).filePath(name)).open(QIODevice::WriteOnly)) << name.toStdString();
    }
    // Installs drives whose roots are folders below the test's own folder.
    void UseDrives(const std::vector<platform::Drive>& relativeDrives) {
        std::vector<platform::Drive> drives;
        for (const platform::Drive& drive : relativeDrives)
            drives.push_back({Folder(drive.root), drive.type});
        platform::SetDrives(drives);
    }
    // Loads the dialog, sets its properties and shows it (without modality): its first activation runs.
    setup::GetDataPath& OpenDialog(const QString& dbFile, const QString& dbApp = {}) {
        setup::GetDataPath& dialog = *setup::gGetDataPath;
        dialog.Load();
        dialog.dbFile = dbFile;
        dialog.dbApp = dbApp.isEmpty() ? dialog.dbApp : dbApp;
        dialog.Show(platform::vbModeless);
        return dialog;
    }
    // The message boxes shown, each as "buttons | text up to its first empty line".
    static QStringList Boxes(const std::vector<platform::MessageBoxRequest>& shown) {
        QStringList boxes;
        for (const platform::MessageBoxRequest& box : shown)
            boxes << QString::number(box.buttons) + u" | "_s + box.text.section(u"\n\n"_s, 0, 0);
        return boxes;
    }
    void Answer(const std::deque<int>& answers) {
        for (int answer : answers)
            env_.Answers().Push(answer);
    }

private:
    testsupport::ProgramEnvironment env_;
};

// A set-up test run once per row of a table; kCaseName names each run by its row's name.
template <typename Case>
class ParamTest : public SetupTest, public ::testing::WithParamInterface<Case> {};
inline constexpr auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace setuptest
