#include "session/session.h"

#include "acquisition/configtable.h"
#include "acquisition/datapacket.h"
#include "link/commands.h"
#include "link/framecodec.h"

#include <QDir>
#include <QFileInfo>

namespace ses {

namespace {

// Value of the first row whose Key equals `key` ignoring case; nothing when no row matches.
std::optional<QString> lookup(acq::Table& t, const QString& key) {
    if (!t.locate(QStringLiteral("Key"), key, true))
        return std::nullopt;
    return t.value(1).toString(); // the table's second column
}

// Key and Value first, whatever order the file keeps them in; nothing when either is missing.
std::optional<acq::Table::Row> keyValue(const acq::Datapacket& p, const acq::Table::Row& r) {
    int ki = -1, vi = -1;
    for (int i = 0; i < p.fields.size(); ++i) {
        if (p.fields[i].name.compare(QLatin1String("Key"), Qt::CaseInsensitive) == 0) ki = i;
        if (p.fields[i].name.compare(QLatin1String("Value"), Qt::CaseInsensitive) == 0) vi = i;
    }
    if (ki < 0 || vi < 0)
        return std::nullopt;
    return acq::Table::Row{r[ki], r[vi]};
}

} // namespace

Outcome downloadOutcome(acq::DownloadResult r) {
    using S = Outcome::Status;
    switch (r) {
    case acq::DownloadResult::Done: return Outcome::done();
    case acq::DownloadResult::CommunicationError: return Outcome::fail(S::Communication, msg::CommunicationError);
    case acq::DownloadResult::InvalidContents: return Outcome::fail(S::Contents, msg::InvalidContents);
    case acq::DownloadResult::MemoryEmpty:
        return Outcome::fail(S::Empty, msg::MemoryEmpty, Outcome::Severity::Information);
    }
    return Outcome::fail(S::Communication, msg::CommunicationError);
}

QString linkFailureText(const acq::LinkFailure& f) {
    using St = acq::LinkFailure::Stage;
    const QString stage = f.stage == St::Probe    ? msg::LinkStageProbe
                        : f.stage == St::Header   ? msg::LinkStageHeader
                                                  : msg::LinkStageBlock.arg(f.firstRegister);
    QString why;
    switch (f.fault) {
    case acq::LinkFault::NoAnswer: why = msg::LinkNoAnswer; break;
    case acq::LinkFault::CutShort: why = msg::LinkCutShort.arg(f.characters); break;
    case acq::LinkFault::BadAnswer: why = msg::LinkBadAnswer.arg(f.characters); break;
    case acq::LinkFault::Disagreeing: why = msg::LinkDisagreeing; break;
    }
    return msg::LinkFailureDetail.arg(stage, why).arg(f.tries);
}

Session::Session(lnk::SerialLibrary& serial, lnk::Clock& clock, lnk::PortMap* ports, QString workDir)
    : ports_(ports ? ports : &ownPorts_), channel_(serial, clock), workDir_(std::move(workDir)) {
    table_.setSaved(true);
    channel_.setPort(config_.port);
}

QString Session::configPath() const { return QDir(workDir_).filePath(kConfigFileName); }

StartupReport Session::startUp() {
    StartupReport report;
    auto fail = [&](const QString& text) { report.failures << text; };

    acq::Table table;
    acq::fillBuiltInConfig(table);
    const QString path = configPath();
    if (!QFileInfo::exists(path)) {
        fail(msg::ConfigMissing);
    } else {
        QString why;
        const auto packet = acq::loadDatapacket(path, &why);
        if (!packet || !acq::hasFields(*packet, {QStringLiteral("Key"), QStringLiteral("Value")}, &why)) {
            // A file that is no table at all ends start-up like any other invalid file.
            fail(msg::ConfigInvalid);
            table.close();
            table.setFieldDefs(acq::configFields());
            table.createDataSet();
        } else {
            QList<acq::Table::Row> rows;
            for (const auto& r : packet->rows)
                rows << *keyValue(*packet, r);
            table.assign(acq::configFields(), rows, packet->autoIncValue);
        }
    }

    auto key = [&](const QString& name, auto parse, auto store) {
        const auto text = lookup(table, name);
        const auto value = text ? parse(*text) : std::nullopt;
        if (!value)
            fail(msg::ConfigInvalid);
        else
            store(*value);
    };
    key(QStringLiteral("ComPort"), acq::parseComPort, [&](qint32 v) { config_.port = v; });
    key(QStringLiteral("IntAq"), acq::parseIntAq, [&](qint64 v) { config_.intAq = v; });
    key(QStringLiteral("Coef1"), acq::parseSingle, [&](float v) { config_.coef1 = v; });
    key(QStringLiteral("Coef2"), acq::parseSingle, [&](float v) { config_.coef2 = v; });
    key(QStringLiteral("Desl1"), acq::parseSingle, [&](float v) { config_.desl1 = v; });
    key(QStringLiteral("Desl2"), acq::parseSingle, [&](float v) { config_.desl2 = v; });
    const auto debug = lookup(table, QStringLiteral("Debug"));
    if (!debug)
        fail(msg::ConfigInvalid);
    config_.debug = debug && *debug == QLatin1String("1");
    for (int i = 0; i < lnk::PortMap::kPorts; ++i) {
        const auto dev = lookup(table, QStringLiteral("COM%1").arg(i + 1));
        if (dev && !dev->trimmed().isEmpty())
            ports_->setDevice(i, dev->trimmed());
    }
    table.close();

    channel_.setPort(config_.port);
    report.portOpened = channel_.openPort(config_.port);
    channel_.setBaudRate(config_.port, lnk::SerialChannel::kStartupBaud);
    return report;
}

bool Session::openDevice(const QString& device) {
    ports_->setDevice(config_.port, device);
    channel_.setPort(config_.port);
    if (!channel_.openPort(config_.port))
        return false;
    channel_.setBaudRate(config_.port, lnk::SerialChannel::kStartupBaud);
    return true;
}

Outcome Session::download(acq::DownloadListener& listener) {
    // Whether the table was re-created is told by the listener's clearTests.
    struct Watch : acq::DownloadListener {
        acq::DownloadListener& inner;
        bool& recreated;
        Watch(acq::DownloadListener& l, bool& r) : inner(l), recreated(r) {}
        void clearTests() override {
            recreated = true;
            inner.clearTests();
        }
        void testStarted(int n) override { inner.testStarted(n); }
        void progressStart(int m, int s) override { inner.progressStart(m, s); }
        void progressStep() override { inner.progressStep(); }
        void progressEnd() override { inner.progressEnd(); }
        void responseRead(int start, const QByteArray& r) override { inner.responseRead(start, r); }
    } watch(listener, recreated_);
    recreated_ = false;
    acq::DownloadReport report;
    Outcome o = downloadOutcome(acq::runDownload(channel_, table_, watch, &report));
    if (report.linkFailure)
        o.detail = linkFailureText(*report.linkFailure);
    if (recreated_) {
        dataFile_.clear();
        tests_ = report.tests;
    }
    // What the decoding passed over is told, never dropped in silence.
    if (o.ok() && !report.warnings.isEmpty())
        o = Outcome::done(report.warnings.join(QLatin1Char('\n')), Outcome::Severity::Warning);
    else if (!report.warnings.isEmpty())
        o.text += QLatin1Char('\n') + report.warnings.join(QLatin1Char('\n'));
    return o;
}

Outcome Session::clearMemory() {
    if (acq::clearMemory(channel_))
        return Outcome::done(msg::ClearOk, Outcome::Severity::Information);
    return Outcome::fail(Outcome::Status::Communication, msg::ClearFailed);
}

Outcome Session::probe(QByteArray* response) {
    const QByteArray r = channel_.exchange(lnk::cmd::kDiagnosticsFrame, lnk::cmd::kDownloadProbe);
    if (response)
        *response = r;
    return lnk::VerifyMessage(r) ? Outcome::done() : Outcome::fail(Outcome::Status::Communication, msg::CommunicationError);
}

Outcome Session::open(const QString& path) {
    // Read into a packet first: the table changes only on success.
    QString why;
    const auto packet = acq::loadDatapacket(path, &why);
    if (!packet)
        return Outcome::fail(Outcome::Status::File, why);
    table_.disableControls();
    const bool ok = table_.takePacket(*packet, &why);
    table_.enableControls();
    if (!ok)
        return Outcome::fail(Outcome::Status::File, msg::NotADataFile.arg(QDir::toNativeSeparators(path), why));
    table_.setSaved(true); // what is shown is what the file holds
    dataFile_ = path;
    tests_ = acq::testRuns(table_);
    return Outcome::done();
}

Outcome Session::save(const QString& path) {
    QString why;
    if (!acq::saveTable(table_, path, &why))
        return Outcome::fail(Outcome::Status::File, why);
    table_.setSaved(true); // the table now equals the file
    dataFile_ = path;
    return Outcome::done();
}

QList<Outcome> Session::switchPort(int index) {
    QList<Outcome> out;
    channel_.closePort(channel_.port());
    config_.port = index;
    channel_.setPort(index);
    if (!channel_.openPort(index))
        out << Outcome::fail(Outcome::Status::Communication, msg::PortFailed, Outcome::Severity::Warning);
    // The start-up speed: at 9600 a 32-register block could never arrive within the 100 ms wait.
    channel_.setBaudRate(index, lnk::SerialChannel::kStartupBaud);
    const Outcome stored = setConfigValue(QStringLiteral("ComPort"), QString::number(index), true);
    if (!stored.ok())
        out << stored;
    return out;
}

QString Session::configValue(const QString& key) const {
    QString why;
    const auto packet = acq::loadDatapacket(configPath(), &why);
    if (!packet)
        return {};
    for (const auto& r : packet->rows) {
        const auto kv = keyValue(*packet, r);
        if (!kv)
            return {};
        if ((*kv)[0].toString().compare(key, Qt::CaseInsensitive) == 0)
            return (*kv)[1].toString();
    }
    return {};
}

Outcome Session::setConfigValue(const QString& key, const QString& value, bool mustExist) {
    const QString path = configPath();
    auto notSaved = [] { return Outcome::fail(Outcome::Status::Config, msg::ConfigNotSaved, Outcome::Severity::Warning); };
    if (!QFileInfo::exists(path))
        return notSaved();
    QString why;
    const auto packet = acq::loadDatapacket(path, &why);
    if (!packet)
        return Outcome::fail(Outcome::Status::File, why);
    // Every other row and field, unknown ones included, goes back as it was.
    acq::Table t;
    t.assign(packet->fields, packet->rows, packet->autoIncValue);
    if (t.fieldIndex(QStringLiteral("Key")) < 0 || t.fieldIndex(QStringLiteral("Value")) < 0)
        return notSaved();
    if (t.locate(QStringLiteral("Key"), key, true)) {
        t.edit();
    } else if (mustExist) {
        return notSaved();
    } else {
        t.append();
        t.setValue(QStringLiteral("Key"), key);
    }
    t.setValue(QStringLiteral("Value"), value);
    t.post();
    if (!acq::saveTable(t, path, &why))
        return Outcome::fail(Outcome::Status::File, why);
    return Outcome::done();
}

} // namespace ses
