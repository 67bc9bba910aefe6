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

namespace ado {

Error ObjectModelError(int32_t number) {
    switch (number) {
        case ADODB_E_NOCURRENTRECORD:
            return Error(number, 0,
                         QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                        "Requested operation requires a current record."));
        case ADODB_E_NOTSUPPORTED:
            return Error(
                number, 0,
                QStringLiteral("Object or provider is not capable of performing requested operation."));
        case ADODB_E_ITEMNOTFOUND:
            return Error(
                number, 0,
                QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                               "name or ordinal."));
        case ADODB_E_OBJECTCLOSED:
            return Error(number, 0, QStringLiteral("Operation is not allowed when the object is closed."));
        case ADODB_E_OBJECTOPEN:
            return Error(number, 0, QStringLiteral("Operation is not allowed when the object is open."));
        case ADODB_E_PROVIDERNOTFOUND:
            return Error(number, 0,
                         QStringLiteral("Provider cannot be found. It may not be properly installed."));
        default:
            return Error(number, 0, QStringLiteral("Application-defined or object-defined error"));
    }
}

}  // namespace ado
