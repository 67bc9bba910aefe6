#include "tools/sample_data.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <utility>

namespace tools {

namespace {

// A charge as the court records it, with the offence kinds it counts as (drug, sex, theft, violent).
struct ChargeTemplate {
    const char* description;
    bool drug, sex, theft, violent;
};

// About half of all charges carry no offence flag, as in a county's charge list.
constexpr std::array<ChargeTemplate, 26> kChargeTemplates{{
    {"Possession of a controlled substance", true, false, false, false},
    {"Sale of a controlled substance", true, false, false, false},
    {"Possession of drug paraphernalia", true, false, false, false},
    {"Driving under the influence of drugs", true, false, false, false},
    {"Sexual assault", false, true, false, true},
    {"Indecent exposure", false, true, false, false},
    {"Solicitation", false, true, false, false},
    {"Petty theft", false, false, true, false},
    {"Grand theft", false, false, true, false},
    {"Burglary", false, false, true, false},
    {"Shoplifting", false, false, true, false},
    {"Receiving stolen property", false, false, true, false},
    {"Robbery", false, false, true, true},
    {"Simple assault", false, false, false, true},
    {"Aggravated assault", false, false, false, true},
    {"Domestic battery", false, false, false, true},
    {"Possession with intent to distribute", true, false, false, false},
    {"Trespass", false, false, false, false},
    {"Disorderly conduct", false, false, false, false},
    {"Driving with a suspended licence", false, false, false, false},
    {"Vandalism", false, false, false, false},
    {"Public intoxication", false, false, false, false},
    {"Failure to appear", false, false, false, false},
    {"Reckless driving", false, false, false, false},
    {"Fare evasion", false, false, false, false},
    {"Littering", false, false, false, false},
}};

constexpr std::array<const char*, 16> kLastNames{{"Abbott", "Barker", "Castillo", "Dunn", "Ellison", "Farrow",
                                                  "Garza", "Holloway", "Ibarra", "Jennings", "Keller",
                                                  "Lindqvist", "Moreno", "Nakamura", "Okafor", "Pruitt"}};
constexpr std::array<const char*, 12> kFirstNames{{"Alex", "Bianca", "Carlos", "Dana", "Elena", "Frank",
                                                   "Grace", "Hector", "Ines", "Jamal", "Keisha", "Liam"}};
constexpr std::array<const char*, 12> kAgencyKinds{
    {"Food Bank", "Animal Shelter", "Parks Department", "Senior Centre", "Public Library", "Youth League",
     "Thrift Store", "Community Garden", "Habitat Build", "Hospital Auxiliary", "Recycling Centre",
     "Church Pantry"}};
constexpr std::array<const char*, 8> kPlaces{
    {"Riverside", "Northgate", "Elm Hollow", "Cedar Falls", "Marston", "Westbrook", "Harlow", "Stoneleigh"}};

// Uniform numbers from a fixed generator, so that a seed means the same rows everywhere.
class Dice {
public:
    explicit Dice(uint64_t seed) : engine_(seed) {}
    // A number from 0 to n - 1.
    uint64_t Below(uint64_t n) { return engine_() % n; }
    // From 1 to n.
    int32_t From1To(int32_t n) { return static_cast<int32_t>(Below(static_cast<uint64_t>(n))) + 1; }
    // True in percent cases out of a hundred.
    bool Chance(int percent) { return Below(100) < static_cast<uint64_t>(percent); }

private:
    std::mt19937_64 engine_;
};

QString Text(const QString& value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString Flag(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// An unset offence flag; some charge lists leave it empty instead of false.
QString UnsetFlag(bool leftEmpty) {
    return leftEmpty ? QStringLiteral("NULL") : QStringLiteral("0");
}

QString FlagOrEmpty(bool value, bool leftEmpty) {
    return value ? Flag(true) : UnsetFlag(leftEmpty);
}

const SampleTable kPeople{QStringLiteral("People"), QStringLiteral("([Last Name], [First Name])")};
const SampleTable kCharges{
    QStringLiteral("[Court Charges]"),
    QStringLiteral("(Description, Drug_Related, Sex_Crime, Theft_Related, Violent_Crime)")};
const SampleTable kAgencies{QStringLiteral("Agencies"),
                            QStringLiteral("(Name, No_Drug_Offenders, No_Sex_Offenders, No_Theft_Offenders, "
                                           "No_Violent_Offenders, Inactive)")};
const SampleTable kCases{QStringLiteral("Cases"), QStringLiteral("([People ID], [Court Charge])")};
const SampleTable kHistory{QStringLiteral("[Client Criminal History]"),
                           QStringLiteral("([Client ID], [Court Charge ID])")};
const SampleTable kBlacklist{
    QStringLiteral("Blacklist"),
    QStringLiteral("(Client_ID, Agency_ID, Manually_Entered, Date_Created, Notes, Created_By)")};

}  // namespace

SampleSizes SampleSizes::Resolved() const {
    SampleSizes resolved = *this;
    if (resolved.cases == 0)
        resolved.cases = static_cast<int32_t>(int64_t{clients} * 10 / 3);
    if (resolved.histories == 0)
        resolved.histories = static_cast<int32_t>(int64_t{clients} * 9 / 10);
    if (resolved.charges == 0)
        resolved.charges = std::clamp(clients / 150, 40, 2000);
    if (resolved.agencies == 0)
        resolved.agencies = std::clamp(clients / 1000, 12, 300);
    return resolved;
}

void GenerateSample(const SampleSizes& requested,
                    const std::function<void(const SampleTable&, const QString&)>& sink) {
    const SampleSizes sizes = requested.Resolved();
    Dice dice(sizes.seed);

    // Every draw from the dice is a statement of its own: the order in which a call's arguments are worked
    // out is not fixed, and the rows must not depend on it.
    for (int32_t i = 0; i < sizes.clients; ++i) {
        const QString last = Text(QString::fromLatin1(kLastNames[dice.Below(kLastNames.size())]));
        const QString first = Text(QString::fromLatin1(kFirstNames[dice.Below(kFirstNames.size())]));
        sink(kPeople, QStringLiteral("(%1, %2)").arg(last, first));
    }

    for (int32_t i = 0; i < sizes.charges; ++i) {
        const ChargeTemplate& charge = kChargeTemplates[static_cast<size_t>(i) % kChargeTemplates.size()];
        const bool leftEmpty = dice.Chance(10);
        sink(kCharges,
             QStringLiteral("(%1, %2, %3, %4, %5)")
                 .arg(Text(QString::fromLatin1(charge.description) + QStringLiteral(" (statute ") +
                           QString::number(1000 + i) + QLatin1Char(')')),
                      FlagOrEmpty(charge.drug, leftEmpty), FlagOrEmpty(charge.sex, leftEmpty),
                      FlagOrEmpty(charge.theft, leftEmpty), FlagOrEmpty(charge.violent, leftEmpty)));
    }

    for (int32_t i = 0; i < sizes.agencies; ++i) {
        const QString name = QString::fromLatin1(kPlaces[dice.Below(kPlaces.size())]) + QLatin1Char(' ') +
                             QString::fromLatin1(kAgencyKinds[static_cast<size_t>(i) % kAgencyKinds.size()]) +
                             QStringLiteral(" #") + QString::number(i + 1);
        QStringList flags;
        for (int percent : {40, 40, 40, 40, 10})
            flags << Flag(dice.Chance(percent));
        sink(kAgencies, QLatin1Char('(') + Text(name) + QStringLiteral(", ") +
                            flags.join(QStringLiteral(", ")) + QLatin1Char(')'));
    }

    // One row in a hundred names a charge that is not (or no longer) in the charge list.
    const auto chargeId = [&] {
        return dice.Chance(1) ? sizes.charges + dice.From1To(1000) : dice.From1To(sizes.charges);
    };
    const auto clientAndCharge = [&] {
        const int32_t client = dice.From1To(sizes.clients);
        const int32_t charge = chargeId();
        return QStringLiteral("(%1, %2)").arg(client).arg(charge);
    };
    for (int32_t i = 0; i < sizes.cases; ++i)
        sink(kCases, clientAndCharge());
    for (int32_t i = 0; i < sizes.histories; ++i)
        sink(kHistory, clientAndCharge());

    // Manual entries made by staff, and stale automatic entries left from earlier rebuilds, one per pair.
    const QDateTime base(QDate(2026, 1, 1), QTime(8, 0));
    std::set<std::pair<int32_t, int32_t>> pairs;
    const auto entries = [&](int32_t count, bool manual, const QString& notes) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t client = dice.From1To(sizes.clients);
            const int32_t agency = dice.From1To(sizes.agencies);
            const std::pair<int32_t, int32_t> pair{client, agency};
            if (!pairs.insert(pair).second)
                continue;
            const QDateTime created = base.addSecs(static_cast<int64_t>(dice.Below(300 * 24 * 3600)));
            sink(kBlacklist,
                 QStringLiteral("(%1, %2, %3, %4, %5, 1)")
                     .arg(pair.first)
                     .arg(pair.second)
                     .arg(Flag(manual), Text(created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                          Text(notes)));
        }
    };
    entries(std::max(1, sizes.clients / 200), true,
            QStringLiteral("Agency declined the client at interview"));
    entries(std::max(1, sizes.clients / 20), false,
            QStringLiteral("Drug Related - Case On File (Automatic)"));
}

}  // namespace tools
