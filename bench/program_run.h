#pragma once
// Running the product's binaries as an unattended run would: no display (Qt's offscreen platform), the
// dataset's settings folder as XDG_CONFIG_HOME, standard input from /dev/null, and a virtual clock
// (KESTRANE_VIRTUAL_CLOCK=now) on which the program's fixed pauses return at once.

#include "bench/child_process.h"
#include "bench/dataset.h"

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// The command that runs binary of the bench's bin folder with arguments, unattended, with the settings in
// configHome; its output goes to output (and output.err).
ChildCommand UnattendedCommand(const Workspace& workspace, const std::string& binary,
                               const std::filesystem::path& configHome, std::vector<std::string> arguments,
                               const std::filesystem::path& output);

// Runs KSProcessDisqualificationsQueue once on dataset and measures it; its output is kept in the dataset's
// folder (program.out, program.out.err). Raises std::runtime_error when it cannot be started.
ChildOutcome RunQueueProcessor(const Dataset& dataset, const Workspace& workspace);

// The last lines of the program's standard error after RunQueueProcessor, for a failure report.
std::string ProgramErrorTail(const Dataset& dataset);

}  // namespace bench
