#include "bench/program_run.h"

namespace bench {

namespace {

const std::string kProgram = "KSProcessDisqualificationsQueue";

std::filesystem::path ProgramOutput(const Dataset& dataset) {
    return dataset.folder / "program.out";
}

}  // namespace

ChildCommand UnattendedCommand(const Workspace& workspace, const std::string& binary,
                               const std::filesystem::path& configHome, std::vector<std::string> arguments,
                               const std::filesystem::path& output) {
    ChildCommand command;
    command.program = workspace.binFolder / binary;
    command.arguments = std::move(arguments);
    command.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                           {"XDG_CONFIG_HOME", configHome.string()},
                           {"KESTRANE_VIRTUAL_CLOCK", "now"}};
    command.unset = {"DISPLAY", "WAYLAND_DISPLAY"};
    command.output = output;
    return command;
}

ChildOutcome RunQueueProcessor(const Dataset& dataset, const Workspace& workspace) {
    return RunChild(UnattendedCommand(workspace, kProgram, dataset.ConfigHome(), {}, ProgramOutput(dataset)));
}

std::string ProgramErrorTail(const Dataset& dataset) {
    const std::string text = ReadTextFile(ProgramOutput(dataset).string() + ".err");
    return text.size() > 600 ? text.substr(text.size() - 600) : text;
}

}  // namespace bench
