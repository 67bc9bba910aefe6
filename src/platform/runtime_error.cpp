#include "platform/runtime_error.h"

namespace platform {

RuntimeError::RuntimeError(int32_t number, const QString& description)
    : std::runtime_error(QStringLiteral("Run-time error %1: %2").arg(number).arg(description).toStdString()),
      number_(number),
      description_(description) {}

}  // namespace platform
