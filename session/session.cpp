#include "session/session.h"

#include "acquisition/configtable.h"
#include "acquisition/datapacket.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/log.h"

#include <QDir>
#include <QFileInfo>

namespace ses {

namespace {

// config.xml as its keys and values; nothing when it is no table or lacks Key or Value.
std::optional<acq::ConfigTable> readConfig(const QString& path, QString* why) {
    auto records = acq::loadDatapacket(path, why);
    if (!records)
        return std::nullopt;
    if (!acq::hasFields(*records, {QStringLiteral("Key"), QStringLiteral("Value")}, why))
        return std::nullopt;
    return acq::ConfigTable::fromRecords(std::move(*records));
}

} // namespace

QStringList strayEndMarkTexts(const acq::Measurements& data, const QList<acq::StrayEndMark>& marks) {
    QStringList out;
    for (const acq::StrayEndMark& m : marks)
        out << msg::StrayEndMark.arg(data.tests().value(m.test).caption()).arg(m.afterSample);
    return out;
}

Outcome downloadOutcome(acq::DownloadResult r) {
    using S = Outcome::Status;
    switch (r) {
    case acq::DownloadResult::Done: return Outcome::done();
    case acq::DownloadResult::CommunicationError: return Outcome::fail(S::Communication, msg::CommunicationError);
    case acq::DownloadResult::InvalidContents: return Outcome::fail(S::Contents, msg::InvalidContents);
    case acq::DownloadResult::MemoryEmpty:
        return Outcome::fail(S::Empty, msg::MemoryEmpty, Outcome::Severity::Information);
    case acq::DownloadResult::Cancelled:
        return Outcome::fail(S::Cancelled, msg::DownloadCancelled, Outcome::Severity::Information);
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

namespace {

// What the decoding passed over is told, never dropped in silence.
void addWarnings(Outcome& o, const QStringList& warnings) {
    if (warnings.isEmpty())
        return;
    if (o.ok())
        o = Outcome::done(warnings.join(QLatin1Char('\n')), Outcome::Severity::Warning);
    else
        o.text += QLatin1Char('\n') + warnings.join(QLatin1Char('\n'));
}

} // namespace

Session::Session(lnk::SerialLibrary& serial, lnk::Clock& clock, lnk::PortMap* ports, QString workDir)
    : ports_(ports ? ports : &ownPorts_), channel_(serial, clock), workDir_(std::move(workDir)) {
    channel_.setPort(config_.port);
}

QString Session::configPath() const { return QDir(workDir_).filePath(kConfigFileName); }

StartupReport Session::startUp() {
    StartupReport report;
    auto fail = [&](const QString& text) { report.failures << text; };

    std::optional<acq::ConfigTable> table = acq::ConfigTable::fromRecords(acq::builtInConfig());
    const QString path = configPath();
    if (!QFileInfo::exists(path)) {
        fail(msg::ConfigMissing);
    } else {
        QString why;
        table = readConfig(path, &why);
        // A file that is no table at all ends start-up like any other invalid file.
        if (!table)
            fail(msg::ConfigInvalid);
    }

    auto lookup = [&](const QString& name) { return table ? table->value(name) : std::nullopt; };
    auto key = [&](const QString& name, auto parse, auto store) {
        const auto text = lookup(name);
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
    const auto debug = lookup(QStringLiteral("Debug"));
    if (!debug)
        fail(msg::ConfigInvalid);
    config_.debug = debug && *debug == QLatin1String("1");
    for (int i = 0; i < lnk::PortMap::kPorts; ++i) {
        const auto dev = lookup(QStringLiteral("COM%1").arg(i + 1));
        if (dev && !dev->trimmed().isEmpty())
            ports_->setDevice(i, dev->trimmed());
    }

    channel_.setPort(config_.port);
    report.portOpened = portOpen_ = channel_.openPort(config_.port);
    channel_.setBaudRate(config_.port, lnk::SerialChannel::kStartupBaud);
    return report;
}

bool Session::openDevice(const QString& device) {
    ports_->setDevice(config_.port, device);
    channel_.setPort(config_.port);
    if (!(portOpen_ = channel_.openPort(config_.port)))
        return false;
    channel_.setBaudRate(config_.port, lnk::SerialChannel::kStartupBaud);
    return true;
}

bool Session::reopenPort() {
    channel_.closePort(channel_.port());
    portOpen_ = channel_.openPort(channel_.port());
    channel_.setBaudRate(channel_.port(), lnk::SerialChannel::kStartupBaud);
    return portOpen_;
}

QString Session::reopenAfterSilence() {
    return reopenPort() ? msg::PortReopened
                        : msg::PortNotReopened.arg(QStringLiteral("COM%1 (%2)").arg(channel_.port() + 1).arg(ports_->device(channel_.port())));
}

Outcome Session::download(acq::DownloadListener& listener, const std::atomic<bool>* cancel) {
    recreated_ = false;
    // A port lost when an earlier download found no logger is opened again first.
    if (!portOpen_ && reopenPort())
        qCInfo(lcLink) << "port" << channel_.port() << "opened again";
    const acq::MemoryRead read = acq::readMemory(channel_, listener, cancel);
    memory_ = read.bytes;
    Outcome o = downloadOutcome(read.result);
    if (read.linkFailure)
        o.detail = linkFailureText(*read.linkFailure);
    // Nothing at all came back: the logger may have been unplugged, and the handle held since
    // then is dead even once it is plugged back. The next try gets a fresh one.
    if (read.linkFailure && read.linkFailure->stage == acq::LinkFailure::Stage::Probe &&
        read.linkFailure->fault == acq::LinkFault::NoAnswer)
        o.detail += QLatin1Char('\n') + reopenAfterSilence();
    // Before the header was read, or with a header that cannot be, nothing in hand changes.
    if (read.bytes.isEmpty() || read.result == acq::DownloadResult::InvalidContents)
        return o;
    addWarnings(o, replaceWith(acq::decodeMemory(read.bytes)));
    return o;
}

QStringList Session::replaceWith(acq::DecodedMemory&& d) {
    data_ = std::move(d.data);
    lastEnded_ = d.lastEnded;
    recreated_ = true;
    dataFile_.clear();
    return strayEndMarkTexts(data_, d.warnings);
}

Outcome Session::takeMemory(const QByteArray& memory) {
    acq::DecodedMemory d = acq::decodeMemory(memory);
    using St = acq::DecodedMemory::Status;
    if (d.status == St::InvalidHeader)
        return downloadOutcome(acq::DownloadResult::InvalidContents);
    Outcome o = downloadOutcome(d.status == St::Empty ? acq::DownloadResult::MemoryEmpty : acq::DownloadResult::Done);
    addWarnings(o, replaceWith(std::move(d)));
    return o;
}

std::optional<acq::TestRun> Session::lastEndedTest() const {
    if (!recreated_ || !lastEnded_ || *lastEnded_ >= data_.tests().size())
        return std::nullopt;
    return data_.tests()[*lastEnded_];
}

void Session::removeRow(int index) {
    data_.removeRow(index);
    data_.setSaved(false);
}

Outcome Session::clearMemory() {
    // As for a download: a port lost earlier is opened again first.
    if (!portOpen_)
        reopenPort();
    if (acq::clearMemory(channel_))
        return Outcome::done(msg::ClearOk, Outcome::Severity::Information);
    Outcome o = Outcome::fail(Outcome::Status::Communication, msg::ClearFailed);
    // The logger may have been unplugged: the next try gets a fresh handle.
    o.detail = reopenAfterSilence();
    return o;
}

Outcome Session::probe(QByteArray* response) {
    const QByteArray r = channel_.exchange(lnk::cmd::kDiagnosticsFrame, lnk::cmd::kDownloadProbe);
    if (response)
        *response = r;
    Outcome o = Outcome::fail(Outcome::Status::Communication, msg::CommunicationError);
    if (!lnk::VerifyMessage(r)) {
        o.detail = r.isEmpty() ? msg::LinkNoAnswer : msg::LinkBadAnswer.arg(r.size());
        return o;
    }
    // A well-formed answer may still say no: an exception frame (the function code with its
    // high bit set, then the exception's code) is the logger refusing, not a logger ready.
    const auto fn = lnk::decodeField(r, 2, 2);
    if (fn && (*fn & 0x80)) {
        o.detail = msg::LinkException.arg(lnk::decodeField(r, 4, 2).value_or(0), 2, 16, QLatin1Char('0'));
        return o;
    }
    return Outcome::done();
}

Outcome Session::open(const QString& path, WholeTestsOnly partial) {
    // Read whole and checked first: the measurements change only on success.
    QString why;
    bool isTable = false;
    auto data = acq::Measurements::load(path, &why, &isTable);
    if (!data) {
        const QString shown = QDir::toNativeSeparators(path);
        auto whole = isTable ? std::nullopt : acq::Measurements::loadWholeTests(path);
        if (!whole)
            return Outcome::fail(Outcome::Status::File, isTable ? msg::NotADataFile.arg(shown, why) : why);
        QStringList labels;
        for (const acq::TestRun& t : whole->data.tests())
            labels << t.label();
        if (partial == WholeTestsOnly::Ask) {
            // The reader's own sentence names the file already; the cause alone follows it.
            const QString cause = why.section(QStringLiteral(": "), 1, -1);
            return Outcome::fail(Outcome::Status::Partial,
                                 msg::PartialFile.arg(shown, cause.isEmpty() ? why : cause,
                                                      labels.join(QStringLiteral(", ")), whole->leftOut));
        }
        data_ = std::move(whole->data);
        data_.setSaved(false); // the file holds more than is shown: saving writes a whole file
        dataFile_ = path;
        Outcome o = Outcome::done();
        o.text = msg::PartialFileRead.arg(shown, labels.join(QStringLiteral(", ")), whole->leftOut);
        return o;
    }
    data_ = std::move(*data);
    data_.setSaved(true); // what is shown is what the file holds
    dataFile_ = path;
    return Outcome::done();
}

Outcome Session::save(const QString& path) {
    QString why;
    if (!data_.save(path, &why))
        return Outcome::fail(Outcome::Status::File, why);
    data_.setSaved(true); // the measurements now equal the file
    dataFile_ = path;
    return Outcome::done();
}

QList<Outcome> Session::switchPort(int index) {
    QList<Outcome> out;
    channel_.closePort(channel_.port());
    config_.port = index;
    channel_.setPort(index);
    if (!(portOpen_ = channel_.openPort(index)))
        out << Outcome::fail(Outcome::Status::Communication, msg::PortFailed, Outcome::Severity::Warning);
    // The start-up speed: at 9600 a 32-register block could never arrive within the 100 ms wait.
    channel_.setBaudRate(index, lnk::SerialChannel::kStartupBaud);
    const Outcome stored = setConfigValue(QStringLiteral("ComPort"), QString::number(index), true);
    if (!stored.ok())
        out << stored;
    return out;
}

Settings Session::settings() const { return readSettings(configPath()); }

QString Session::configValue(const QString& key) const {
    QString why;
    const auto table = readConfig(configPath(), &why);
    return table ? table->value(key).value_or(QString()) : QString();
}

Outcome Session::setConfigValue(const QString& key, const QString& value, bool mustExist) {
    const QString path = configPath();
    auto notSaved = [] { return Outcome::fail(Outcome::Status::Config, msg::ConfigNotSaved, Outcome::Severity::Warning); };
    if (!QFileInfo::exists(path))
        return notSaved();
    QString why;
    const auto records = acq::loadDatapacket(path, &why);
    if (!records)
        return Outcome::fail(Outcome::Status::File, why);
    // Every other row and field, unknown ones included, goes back as it was.
    auto table = acq::ConfigTable::fromRecords(*records);
    if (!table || (mustExist && !table->value(key)))
        return notSaved();
    table->setValue(key, value);
    if (!acq::saveDatapacket(table->records(), path, &why))
        return Outcome::fail(Outcome::Status::File, why);
    return Outcome::done();
}

} // namespace ses
