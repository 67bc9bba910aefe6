#pragma once
// The rule of disqualification as the bench states it for its lower bounds, independently of the program:
// the four offence kinds with their charge flags, agency flags and the notes the agency rebuild writes.

#include <array>
#include <string>

namespace bench {

struct OffenceRule {
    std::string chargeFlag;   // field of "court charges"
    std::string agencyFlag;   // field of agencies
    std::string caseNote;     // note of an agency entry found through a case
    std::string historyNote;  // note of an agency entry found through criminal history
};

// Drug, sex, theft, violent: the order in which the agency rebuild scans.
inline const std::array<OffenceRule, 4> kOffenceRules{{
    {"drug_related", "no_drug_offenders", "Drug Related - Case On File (Automatic)",
     "Drug Related - Criminal History (Automatic)"},
    {"sex_crime", "no_sex_offenders", "Sex Related - Case On File (Automatic)",
     "Sex Related - Criminal History (Automatic)"},
    {"theft_related", "no_theft_offenders", "Theft Related - Case On File (Automatic)",
     "Theft Related - Criminal History (Automatic)"},
    {"violent_crime", "no_violent_offenders", "Violence Related - Case On File (Automatic)",
     "Violence Related - Criminal History (Automatic)"},
}};

// Where clients' charges are found: cases, then criminal history.
struct ChargeSource {
    std::string table;        // as the server names it, quoted where needed
    std::string clientField;  // "people id" / "client id", quoted
    std::string chargeField;  // "court charge" / "court charge id", quoted
};

inline const std::array<ChargeSource, 2> kChargeSources{{
    {"cases", "\"people id\"", "\"court charge\""},
    {"\"client criminal history\"", "\"client id\"", "\"court charge id\""},
}};

}  // namespace bench
