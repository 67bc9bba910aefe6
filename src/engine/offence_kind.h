#pragma once
// The four offence kinds that bar a client from an agency, with the flags and texts that go with each.

#include <QString>

#include <array>

namespace engine {

enum class OffenceKind { Drug, Sex, Theft, Violent };

// Every kind, in the order in which the rebuilds always handle them.
inline constexpr std::array<OffenceKind, 4> kOffenceKinds = {OffenceKind::Drug, OffenceKind::Sex,
                                                             OffenceKind::Theft, OffenceKind::Violent};

struct OffenceKindTexts {
    QString chargeFlag;      // the [Court Charges] field, e.g. "Drug_Related"
    QString caseNote;        // the note of an entry found through a case on file
    QString historyNote;     // the note of an entry found through the criminal history
    QString caseCaption;     // shown while the agency rebuild scans cases
    QString historyCaption;  // shown while the agency rebuild scans the criminal history
};

// The flags and texts of kind. Never fails.
const OffenceKindTexts& Texts(OffenceKind kind);

}  // namespace engine
