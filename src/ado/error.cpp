#include "ado/error.h"

namespace ado {

Error::Error(int32_t hresult, int32_t nativeError, const QString& description, const QString& statement)
    : platform::RuntimeError(hresult, description), native_(nativeError), statement_(statement) {}

ErrorEntry Error::ToEntry(const QString& source) const {
    ErrorEntry entry;
    entry.number = Number();
    entry.nativeError = native_;
    entry.description = Description();
    entry.source = source;
    return entry;
}

}  // namespace ado
