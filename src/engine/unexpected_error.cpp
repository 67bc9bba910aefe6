// The "Unexpected error" message and the end of the run that follows it.
#include "engine/unexpected_error.h"

#include "platform/msgbox.h"

namespace engine {

void EndWithUnexpectedError(const platform::RuntimeError& error, UnexpectedErrorWording wording) {
    const bool rebuild = wording == UnexpectedErrorWording::Rebuild;
    const QString text = (rebuild ? QStringLiteral("Error: ") : QStringLiteral("Error ")) +
                         QString::number(error.Number()) + QChar(13) + error.Description() + QChar(13) +
                         QChar(13) +
                         (rebuild ? QStringLiteral("Unexpected error. Application terminated.")
                                  : QStringLiteral("Unexpected error. Application termincated."));
    platform::MsgBox(text, platform::vbOKOnly);
    throw platform::EndProgram(text);
}

}  // namespace engine
