#pragma once
// The system's own texts as the tests expect them, written out once here and never taken from the code under
// test: a slip in a text of the program fails a test instead of passing with it.

#include <QString>
#include <QStringList>

#include <array>

namespace testsupport::texts {

using namespace Qt::StringLiterals;

// One offence kind's texts, in the order the rebuilds handle the kinds: drug, sex, theft, violent.
struct OffenceKind {
    QString flag;            // the [Court Charges] field
    QString caseNote;        // an entry found through a case on file
    QString historyNote;     // an entry found through the criminal history
    QString caseCaption;     // the agency rebuild's progress while it scans cases
    QString historyCaption;  // ... and while it scans the criminal history
};

inline const std::array<OffenceKind, 4> kKinds = {{
    {u"Drug_Related"_s, u"Drug Related - Case On File (Automatic)"_s,
     u"Drug Related - Criminal History (Automatic)"_s, u"Updating Blacklist based on Case drug offenses..."_s,
     u"Updating Blacklist based on Criminal History drug offenses..."_s},
    {u"Sex_Crime"_s, u"Sex Related - Case On File (Automatic)"_s,
     u"Sex Related - Criminal History (Automatic)"_s, u"Updating Blacklist based on Case sex offenses..."_s,
     u"Updating Blacklist based on Criminal History sex offenses..."_s},
    {u"Theft_Related"_s, u"Theft Related - Case On File (Automatic)"_s,
     u"Theft Related - Criminal History (Automatic)"_s,
     u"Updating Blacklist based on Case theft offenses..."_s,
     u"Updating Blacklist based on Criminal History theft offenses..."_s},
    {u"Violent_Crime"_s, u"Violence Related - Case On File (Automatic)"_s,
     u"Violence Related - Criminal History (Automatic)"_s,
     u"Updating Blacklist based on Case violent offenses..."_s,
     u"Updating Blacklist based on Criminal History violent offenses..."_s},
}};

// The rebuilds' progress and messages.
inline const QString kAgencyBegin = u"Updating Agency Blacklist. Please wait..."_s;
inline const QString kClientBegin = u"Updating disqualifications. Please wait..."_s;
inline const QString kClientCases = u"Updating Case entries..."_s;
inline const QString kClientHistory = u"Updating Criminal History entries..."_s;
inline const QString kRemoving = u"Removing disqualifications..."_s;
inline const QString kAgencyRemoveFailed = u"Unable to remove Agency blacklist entry."_s;
inline const QString kClientRemoveFailed = u"Unable to remove client blacklist entry."_s;

}  // namespace testsupport::texts
