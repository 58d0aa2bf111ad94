#pragma once
// The program's operations over one owner of the serial channel, the measurements with their
// saved flag, and the run-time configuration with its port map. The main window and
// registrador-cli both drive it: each operation returns one outcome, with the user's text
// from the message table, and tells the user nothing itself.
#include "acquisition/download.h"
#include "acquisition/memorydecoder.h"
#include "acquisition/measurements.h"
#include "link/portmap.h"
#include "link/serialchannel.h"
#include "session/messages.h"
#include "session/settings.h"

#include <QString>
#include <QStringList>
#include <atomic>

namespace ses {

/// What an operation came to, and how the user is told (nothing, or a box of that kind).
struct Outcome {
    /// Partial: a data file cut short whose whole tests can be read when the user agrees.
    enum class Status { Ok, Communication, Contents, Empty, File, Config, Cancelled, Partial };
    enum class Severity { None, Information, Warning, Error };
    Status status = Status::Ok;
    Severity severity = Severity::None;
    QString text;
    QString detail; ///< the cause under the text, when there is more to tell
    bool ok() const { return status == Status::Ok; }

    static Outcome done(QString text = {}, Severity s = Severity::None) { return {Status::Ok, s, std::move(text), {}}; }
    static Outcome fail(Status st, QString text, Severity s = Severity::Error) { return {st, s, std::move(text), {}}; }
};

/// The seven keys of config.xml as the program runs with them.
struct RuntimeConfig {
    qint32 port = 1;
    qint64 intAq = 25;
    float coef1 = 1, coef2 = 1, desl1 = 0, desl2 = 0;
    bool debug = false;
};

inline const QString kConfigFileName = QStringLiteral("config.xml");

/// What start-up found: each failure's text in order (any failure ends the program), and
/// whether the port opened.
struct StartupReport {
    QStringList failures;
    bool portOpened = false;
};

class Session {
public:
    /// `ports`: the serial library's map of port index to device, filled from config.xml;
    /// null when the library has none (the session then keeps one of its own).
    Session(lnk::SerialLibrary& serial, lnk::Clock& clock, lnk::PortMap* ports = nullptr, QString workDir = {});

    lnk::SerialChannel& channel() { return channel_; }
    /// The measurements in hand: from the last download or the file opened.
    const acq::Measurements& data() const { return data_; }
    acq::Measurements& data() { return data_; }
    const RuntimeConfig& config() const { return config_; }
    lnk::PortMap& ports() { return *ports_; }
    QString workDir() const { return workDir_; }
    /// The data file last opened or saved (empty when the data came from the logger).
    QString dataFile() const { return dataFile_; }
    bool saved() const { return data_.saved(); }
    /// An export holds the measurements now.
    void markSaved() { data_.setSaved(true); }
    /// The tests of the data in hand, as listed: from the last download (tests without rows
    /// included) or the file opened.
    const QList<acq::TestRun>& tests() const { return data_.tests(); }
    /// Removes one row (the grid's Ctrl+Delete); the measurements no longer equal a file.
    void removeRow(int index);

    /// Reads config.xml (the seven keys and the COM1 … COM4 device rows) and opens the port
    /// at the start-up speed.
    StartupReport startUp();
    /// Uses `device` for the port in use instead of config.xml (the command line).
    bool openDevice(const QString& device);

    /// The whole download; on failure or cancel the measurements are what was read. `cancel`
    /// stops it after the block in progress. May run on another thread than the caller's
    /// other operations, never beside them.
    Outcome download(acq::DownloadListener& listener, const std::atomic<bool>* cancel = nullptr);
    /// True when the last download replaced the measurements (so what was shown is gone).
    bool tableRecreated() const { return recreated_; }
    /// A memory as read (a dump) decoded into the measurements, as a download of it would.
    Outcome takeMemory(const QByteArray& memory);
    /// After a download that ended early: the last test it read to its end, which the view
    /// keeps showing.
    std::optional<acq::TestRun> lastEndedTest() const;
    /// The memory as the last download read it, from address 0 (for a dump).
    const QByteArray& memoryRead() const { return memory_; }
    Outcome clearMemory();
    /// The diagnostics probe alone; the response is in `response` when given.
    Outcome probe(QByteArray* response = nullptr);

    /// Whether a data file cut short may be read for its whole tests.
    enum class WholeTestsOnly { Ask, Take };
    /// Reads a data file; on any failure the measurements stay as they were. A file cut short
    /// or damaged within its rows gives Status::Partial, telling which tests are whole, unless
    /// `partial` takes them (the outcome then says what was left out).
    Outcome open(const QString& path, WholeTestsOnly partial = WholeTestsOnly::Ask);
    /// Writes the measurements whole to `path`; they then count as saved.
    Outcome save(const QString& path);

    /// Closes the port in use and opens `index` at the start-up speed, then writes ComPort to
    /// config.xml. One outcome per thing to tell (a port that did not open, a file not saved).
    QList<Outcome> switchPort(int index);

    /// The settings config.xml gives now (beyond the seven of start-up).
    Settings settings() const;
    /// A row of config.xml as it is on disk now; empty when absent.
    QString configValue(const QString& key) const;
    /// Sets one row of config.xml (added when absent and `mustExist` is false), every other
    /// row kept as it was.
    Outcome setConfigValue(const QString& key, const QString& value, bool mustExist);

private:
    QString configPath() const;
    /// Closes and opens the port again at the start-up speed: a logger unplugged and plugged
    /// back answers only on a handle opened after it came back.
    bool reopenPort();
    /// The port opened anew after the logger went silent (it may have been unplugged), and the
    /// sentence that says whether it could be.
    QString reopenAfterSilence();
    bool portOpen_ = false;
    /// Puts the decoded memory in hand; the decoding's warnings.
    QStringList replaceWith(acq::DecodedMemory&& d);

    lnk::PortMap ownPorts_;
    lnk::PortMap* ports_;
    lnk::SerialChannel channel_;
    acq::Measurements data_;
    RuntimeConfig config_;
    QString workDir_;
    QString dataFile_;
    QByteArray memory_;
    std::optional<int> lastEnded_;
    bool recreated_ = false;
};

/// The outcome's text of a download result.
Outcome downloadOutcome(acq::DownloadResult r);

/// The decoding's warnings as the user reads them.
QStringList strayEndMarkTexts(const acq::Measurements& data, const QList<acq::StrayEndMark>& marks);
/// Which request of the download failed on the line, why, and after how many tries.
QString linkFailureText(const acq::LinkFailure& f);

} // namespace ses
