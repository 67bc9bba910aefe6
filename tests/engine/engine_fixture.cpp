#include "engine_fixture.h"

#include "ado/recordset.h"
#include "app/frm_message.h"
#include "data/connection_settings.h"
#include "platform/application.h"
#include "platform/screen.h"
#include "support/product_schema.h"

#include <QEvent>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>

namespace enginetest {

// The trace file of this test program, named before any statement runs.
const QString kTraceFile = [] {
    static QTemporaryDir dir;
    qputenv("KESTRANE_SQL_TRACE", (dir.path() + "/statements.tsv").toLocal8Bit());
    return dir.path() + "/statements.tsv";
}();

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Jet ? "Jet" : "Server";
}

void EngineFixture::UseDatabase(Engine engine) {
    if (engine == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
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

std::vector<std::vector<ado::Variant>> EngineFixture::Query(const QString& sql) {
    ado::Recordset rs;
    rs.Open(sql, *db_, ado::adOpenForwardOnly, ado::adLockReadOnly);
    std::vector<std::vector<ado::Variant>> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        std::vector<ado::Variant>& row = rows.emplace_back();
        for (int i = 0; i < rs.FieldCount(); ++i)
            row.push_back(rs.FieldAt(i).Value());
    }
    return rows;
}

void EngineFixture::Insert(const QString& table, const QStringList& rows) {
    for (qsizetype first = 0; first < rows.size(); first += 500)
        Exec("INSERT INTO " + table + " VALUES " + rows.mid(first, 500).join(", "));
}

void EngineFixture::InsertEntries(const std::vector<Entry>& entries) {
    QStringList rows;
    for (const Entry& e : entries)
        rows << QString::asprintf("(%d, %d, %d, '%s', 0)", e.clientId, e.agencyId, e.manual,
                                  qPrintable(e.notes));
    Insert("Blacklist (Client_ID, Agency_ID, Manually_Entered, Notes, Created_By)", rows);
}

void EngineFixture::InsertAgency(int32_t id, Refusals r, bool inactive) {
    Insert(
        "Agencies (ID, Name, No_Drug_Offenders, No_Sex_Offenders, No_Theft_Offenders, No_Violent_Offenders, "
        "Inactive)",
        {QString::asprintf("(%d, 'Agency %d', %d, %d, %d, %d, %d)", id, id, r[0], r[1], r[2], r[3],
                           inactive)});
}

void EngineFixture::InsertCharge(int32_t id, std::array<int, 4> flags) {
    QString row = QString::asprintf("(%d, 'Charge %d', %d, %d, %d, %d)", id, id, flags[0], flags[1], flags[2],
                                    flags[3]);
    Insert("[Court Charges] (ID, Description, Drug_Related, Sex_Crime, Theft_Related, Violent_Crime)",
           {row.replace("-1", "NULL")});
}

void EngineFixture::InsertCases(int32_t clientId, int32_t chargeId, int count, bool history) {
    Insert(history ? "[Client Criminal History] ([Client ID], [Court Charge ID])"
                   : "Cases ([People ID], [Court Charge])",
           QStringList(count, QString::asprintf("(%d, %d)", clientId, chargeId)));
}

std::vector<Entry> EngineFixture::Entries(const QString& condition) {
    std::vector<Entry> entries;
    for (const auto& row :
         Query("SELECT Client_ID, Agency_ID, Manually_Entered, Notes FROM Blacklist" +
               (condition.isEmpty() ? QString() : " WHERE " + condition) + " ORDER BY ID")) {
        entries.push_back({row[0].ToLong(), row[1].ToLong(), row[2].ToBool(),
                           row[3].IsNull() ? QString() : row[3].ToString()});
    }
    return entries;
}

int64_t EngineFixture::Count(const QString& condition) {
    return Query("SELECT COUNT(*) FROM Blacklist" +
                 (condition.isEmpty() ? QString() : " WHERE " + condition))[0][0]
        .ToLong();
}

QStringList EngineFixture::Shown() {
    QStringList shown;
    for (const auto& box : env_.Answers().Shown())
        shown << box.text + " " + QString::number(box.buttons);
    return shown;
}

StatementTrace::StatementTrace() : start_(QFile(kTraceFile).size()) {}

QStringList StatementTrace::Written() const {
    QFile file(kTraceFile);
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

MessageWindowRecorder::MessageWindowRecorder() {
    app::frmMessage* window = app::gfrmMessage.Get();
    window->installEventFilter(this);
    QObject::connect(window->stsBar, &QStatusBar::messageChanged, this,
                     [this](const QString& text) { statusTexts << text; });
    testing::internal::CaptureStdout();
    capturing_ = true;
    platform::WriteStatusLine({});  // else a caption that an earlier test wrote last is not written again
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
