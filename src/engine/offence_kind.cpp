// The offence kinds' flags, notes and captions.
#include "engine/offence_kind.h"

namespace engine {

namespace {

const std::array<OffenceKindTexts, 4> kTexts = {{
    {QStringLiteral("Drug_Related"), QStringLiteral("Drug Related - Case On File (Automatic)"),
     QStringLiteral("Drug Related - Criminal History (Automatic)"),
     QStringLiteral("Updating Blacklist based on Case drug offenses..."),
     QStringLiteral("Updating Blacklist based on Criminal History drug offenses...")},
    {QStringLiteral("Sex_Crime"), QStringLiteral("Sex Related - Case On File (Automatic)"),
     QStringLiteral("Sex Related - Criminal History (Automatic)"),
     QStringLiteral("Updating Blacklist based on Case sex offenses..."),
     QStringLiteral("Updating Blacklist based on Criminal History sex offenses...")},
    {QStringLiteral("Theft_Related"), QStringLiteral("Theft Related - Case On File (Automatic)"),
     QStringLiteral("Theft Related - Criminal History (Automatic)"),
     QStringLiteral("Updating Blacklist based on Case theft offenses..."),
     QStringLiteral("Updating Blacklist based on Criminal History theft offenses...")},
    {QStringLiteral("Violent_Crime"), QStringLiteral("Violence Related - Case On File (Automatic)"),
     QStringLiteral("Violence Related - Criminal History (Automatic)"),
     QStringLiteral("Updating Blacklist based on Case violent offenses..."),
     QStringLiteral("Updating Blacklist based on Criminal History violent offenses...")},
}};

}  // namespace

const OffenceKindTexts& Texts(OffenceKind kind) {
    return kTexts[static_cast<size_t>(kind)];
}

}  // namespace engine
