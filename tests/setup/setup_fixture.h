#pragma once
// What the set-up tests start from: the program's environment (settings in a temporary folder, a virtual
// clock, scripted message boxes), drives that are folders of that temporary folder, and the data-location
// dialog loaded and shown on demand.

#include "platform/drives.h"
#include "platform/msgbox.h"
#include "setup/get_data_path.h"
#include "support/program_environment.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace setuptest {

class SetupTest : public ::testing::Test {
protected:
    void TearDown() override;

    testsupport::ProgramEnvironment& Env() { return env_; }
    // The folder below the test's own folder (created), ending with "/".
    QString Folder(const QString& relative);
    // Empty files of those names in folder (created).
    void MakeFiles(const QString& folder, const QStringList& names);
    static void MakeReadOnly(const QString& path);
    static bool IsOwnerWritable(const QString& path);
    // Installs drives whose roots are folders below the test's own folder.
    void UseDrives(const std::vector<platform::Drive>& relativeDrives);
    // Loads the dialog, sets its properties and shows it (without modality): its first activation runs.
    setup::GetDataPath& OpenDialog(const QString& dbFile, const QString& dbApp = {});
    // The texts of the message boxes shown so far.
    QStringList Shown();
    std::vector<platform::MessageBoxRequest> ShownBoxes() { return env_.Answers().Shown(); }
    void Answer(std::initializer_list<int> answers);

private:
    testsupport::ProgramEnvironment env_;
};

}  // namespace setuptest
