#include "engine_fixture.h"

#include "ado/recordset.h"
#include "app/frm_message.h"
#include "data/connection_settings.h"
#include "platform/screen.h"
#include "support/product_schema.h"

#include <QEvent>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>

namespace enginetest {

namespace {

// The trace file of this test program, named before any statement runs.
QString TraceFile() {
    static QTemporaryDir dir;
    static const QString file = dir.path() + QStringLiteral("/statements.tsv");
    return file;
}

const bool kTraceNamed = [] {
    qputenv("KESTRANE_SQL_TRACE", TraceFile().toLocal8Bit());
    return true;
}();

QString Bool(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString Flag(int value) {
    return value < 0 ? QStringLiteral("NULL") : QString::number(value);
}

QString SqlText(const QString& text) {
    return QStringLiteral("'") + QString(text).replace(QStringLiteral("'"), QStringLiteral("''")) +
           QStringLiteral("'");
}

}  // namespace

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Jet ? "Jet" : "Server";
}

void EngineFixture::UseDatabase(Engine engine) {
    if (engine == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    engine_ = engine;
    data::ConnectionSettings& settings = data::Settings();
    settings.mainConnectionString = testsupport::NewProductDatabase(engine, env_.Dir());
    settings.accessFlag = engine == Engine::Jet;
    settings.trueLiteral = settings.accessFlag ? QStringLiteral("TRUE") : QStringLiteral("1");
    settings.falseLiteral = settings.accessFlag ? QStringLiteral("FALSE") : QStringLiteral("0");
    db_ = std::make_unique<ado::Connection>();
    db_->Open(settings.mainConnectionString);
}

void EngineFixture::TearDown() {
    for (platform::Form* form : std::vector<platform::Form*>(platform::Screen::Forms()))
        form->Unload();
    platform::Screen::DoEvents();
}

void EngineFixture::Exec(const QString& sql) {
    db_->Execute(sql);
}

Rows EngineFixture::Query(const QString& sql) {
    ado::Recordset rs;
    rs.Open(sql, *db_, ado::adOpenForwardOnly, ado::adLockReadOnly);
    Rows rows;
    while (!rs.Eof()) {
        std::vector<ado::Variant>& row = rows.emplace_back();
        for (int i = 0; i < rs.FieldCount(); ++i)
            row.push_back(rs.FieldAt(i).Value());
        rs.MoveNext();
    }
    rs.Close();
    return rows;
}

void EngineFixture::InsertEntries(const std::vector<Entry>& entries) {
    constexpr size_t kChunk = 500;
    for (size_t first = 0; first < entries.size(); first += kChunk) {
        QStringList values;
        for (size_t i = first; i < std::min(entries.size(), first + kChunk); ++i) {
            const Entry& e = entries[i];
            values << QStringLiteral("(%1, %2, %3, %4, 0)")
                          .arg(e.clientId)
                          .arg(e.agencyId)
                          .arg(Bool(e.manual), SqlText(e.notes));
        }
        Exec(QStringLiteral(
                 "INSERT INTO Blacklist (Client_ID, Agency_ID, Manually_Entered, Notes, Created_By) "
                 "VALUES ") +
             values.join(QStringLiteral(", ")));
    }
}

void EngineFixture::InsertAgency(int32_t id, std::array<bool, 4> refuses, bool inactive) {
    Exec(
        QStringLiteral("INSERT INTO Agencies (ID, Name, No_Drug_Offenders, No_Sex_Offenders, "
                       "No_Theft_Offenders, No_Violent_Offenders, Inactive) VALUES (%1, 'Agency %1', %2, %3, "
                       "%4, %5, %6)")
            .arg(id)
            .arg(Bool(refuses[0]), Bool(refuses[1]), Bool(refuses[2]), Bool(refuses[3]), Bool(inactive)));
}

void EngineFixture::InsertCharge(int32_t id, std::array<int, 4> flags) {
    Exec(QStringLiteral(
             "INSERT INTO [Court Charges] (ID, Description, Drug_Related, Sex_Crime, Theft_Related, "
             "Violent_Crime) VALUES (%1, 'Charge %1', %2, %3, %4, %5)")
             .arg(id)
             .arg(Flag(flags[0]), Flag(flags[1]), Flag(flags[2]), Flag(flags[3])));
}

void EngineFixture::InsertCases(int32_t clientId, int32_t chargeId, int count) {
    InsertOffences(QStringLiteral("Cases ([People ID], [Court Charge])"), clientId, chargeId, count);
}

void EngineFixture::InsertHistory(int32_t clientId, int32_t chargeId, int count) {
    InsertOffences(QStringLiteral("[Client Criminal History] ([Client ID], [Court Charge ID])"), clientId, chargeId,
                   count);
}

void EngineFixture::InsertOffences(const QString& table, int32_t clientId, int32_t chargeId, int count) {
    const QString row = QStringLiteral("(%1, %2)").arg(clientId).arg(chargeId);
    Exec(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES ") +
         QStringList(count, row).join(QStringLiteral(", ")));
}

PairSet EngineFixture::AutomaticPairs() {
    PairSet pairs;
    for (const Entry& e : Entries(QStringLiteral("Manually_Entered = ") + F())) {
        pairs.emplace(e.clientId, e.agencyId);
    }
    return pairs;
}

std::vector<Entry> EngineFixture::Entries(const QString& condition) {
    std::vector<Entry> entries;
    const QString where = condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition;
    for (const auto& row : Query(QStringLiteral("SELECT Client_ID, Agency_ID, Manually_Entered, Notes FROM "
                                                "Blacklist") +
                                 where + QStringLiteral(" ORDER BY ID"))) {
        entries.push_back({row[0].ToLong(), row[1].ToLong(), row[2].ToBool(),
                           row[3].IsNull() ? QString() : row[3].ToString()});
    }
    return entries;
}

int64_t EngineFixture::Count(const QString& condition) {
    const QString where = condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition;
    return Query(QStringLiteral("SELECT COUNT(*) FROM Blacklist") + where).at(0).at(0).ToLong();
}

QString EngineFixture::T() const {
    return data::Settings().trueLiteral;
}
QString EngineFixture::F() const {
    return data::Settings().falseLiteral;
}

StatementTrace::StatementTrace() : start_(QFile(TraceFile()).size()) {}

QStringList StatementTrace::Written() const {
    QFile file(TraceFile());
    QStringList written;
    if (!file.open(QIODevice::ReadOnly))
        return written;
    file.seek(start_);
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).split(QLatin1Char('\t'));
        if (fields.size() >= 3)
            written << fields[2];
    }
    return written;
}

int StatementTrace::CountExactly(const QString& text) const {
    return Written().count(text);
}

MessageWindowRecorder::MessageWindowRecorder() {
    app::frmMessage* window = app::gfrmMessage.Get();
    window->installEventFilter(this);
    QObject::connect(window->stsBar, &QStatusBar::messageChanged, this,
                     [this](const QString& text) { statusTexts << text; });
    testing::internal::CaptureStdout();
    capturing_ = true;
}

MessageWindowRecorder::~MessageWindowRecorder() {
    Stop();
}

void MessageWindowRecorder::Stop() {
    if (!capturing_)
        return;
    capturing_ = false;
    for (const QString& line :
         QString::fromStdString(testing::internal::GetCapturedStdout()).split('\n', Qt::SkipEmptyParts)) {
        if (!titles.contains(line))
            captions << line;
    }
}

bool MessageWindowRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowTitleChange)
        titles << static_cast<QWidget*>(watched)->windowTitle();
    return false;
}

}  // namespace enginetest
