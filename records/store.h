#pragma once
// The lab's record: every determination kept with its sample's identity, a copy of its
// readings and every figure of its evaluation, in a results database with a versioned schema.
// Records are never deleted: a wrong one is rejected with its reason and stays visible.
#include "evaluation/evaluation.h"
#include "records/calibration.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QSqlDatabase>
#include <memory>
#include <optional>
#include <vector>

namespace rec {

/// The schema this program writes; a database of a newer one is refused.
inline constexpr int kSchemaVersion = 8;

/// The program's data folder, the same for the window, the menu entry and the command line:
/// $XDG_DATA_HOME/registrador (usually ~/.local/share/registrador), on Windows
/// %LOCALAPPDATA%\Registrador.
QString dataFolder();
/// resultados.sqlite in the data folder: the results database when none is named.
QString defaultDatabasePath();
/// Results databases that earlier versions made in other folders by default (each program and
/// command its own), so that none is left behind unseen.
QStringList oldDefaultDatabases();
/// Moves an old default database (with its journal files) to the default path; refused when
/// a database is already there.
bool moveOldDatabase(const QString& from, QString* error);

/// Where a message about the database gives, after its cause in Portuguese, the database's own
/// words (shown under "Detalhes" in a window).
inline const QString kDetailsMarker = QStringLiteral("\nDetalhes: ");

/// How long the program waits for the lab's server to answer a connection, by default (s).
inline constexpr int kConnectTimeout = 5;

/// Where the results are: a SQLite file, or a PostgreSQL database on the lab's server.
struct Location {
    enum class Kind { SQLite, PostgreSQL };
    Kind kind = Kind::SQLite;
    QString path; ///< SQLite
    bool isDefault = false; ///< the program's own default file, whose folder is made when needed
    QString user, host, database;
    int port = 5432;
    /// Seconds a connection to the server may take (the address's ?connect_timeout=S).
    int connectTimeout = kConnectTimeout;
    /// Only for a signer's own connection, given at the signature; never read from any text.
    QString password;

    /// A path, or "postgresql://user@host[:port]/database" (the password through libpq's usual
    /// means, never here); empty: resultados.sqlite in the user's data folder.
    static std::optional<Location> parse(const QString& text, QString* error);
};

/// One electronic signature of a determination: who (the user and the full name), when, and
/// what it means, with the signer's comment.
struct Signature {
    enum class Meaning { Reviewed, Approved, Rejected };
    qint64 id = 0;
    qint64 determination = 0;
    Meaning meaning = Meaning::Reviewed;
    QString user, fullName;
    QDateTime signedUtc;
    QString comment;
};
/// "Revisado", "Aprovado", "Rejeitado".
QString meaningText(Signature::Meaning m);
QString meaningKey(Signature::Meaning m);

/// Who signs: the user and the password, asked at every signature.
struct Signer {
    QString user, password;
};

/// How the lab signs (config.xml): review and approval in one step (a small lab), and whether
/// whoever recorded a determination may approve it.
struct SigningRules {
    bool oneStep = false;
    bool recorderMayApprove = false;
};

/// A person who signs, on a SQLite file (on the lab's server the roles are the users).
struct SigningUser {
    QString name, fullName;
    bool reviewer = false, administrator = false;
    QDateTime createdUtc;
};

/// One determination: who, what and when, the test's readings, the evaluation's inputs and
/// every figure of its result.
struct Determination {
    enum class Kind { Sample, Calibration };
    struct Reading {
        int subReg = 0;
        double tempo = 0, tint = 0, text = 0;
        bool operator==(const Reading&) const = default;
    };

    qint64 id = 0; ///< given by the store
    Kind kind = Kind::Sample;
    QString sampleCode, description, operatorName, calorimeter;
    QDate testDate;        ///< typed by the user: the logger has no clock
    QDateTime recordedUtc; ///< set by the store
    QString dataFile;
    qint64 testNumber = 0;
    int testOccurrence = 1;
    std::vector<Reading> readings;
    QByteArray readingsSha256; ///< hex, set by the store
    eval::Calorimetry calorimetry;
    eval::Result result;
    /// Moisture, hydrogen and oxygen + nitrogen (% by mass; H and O+N on the dry basis) when
    /// given, and the net calorific value at constant pressure they give (J/g).
    std::optional<double> moisture, hydrogenDry, oxygenNitrogenDry, netCalorificValue;
    /// Each input as the user gave it (a wire's length, a titration…), as one JSON object.
    QString inputsGiven;
    /// Where the energy equivalent of a sample's result came from (typed, config.xml…).
    QString energyEquivalentSource;
    QString rejectedReason; ///< empty while the record is valid
    QDateTime rejectedUtc;
    /// A calibration: the series of its calorimeter it joined (set by the store). A sample: the
    /// series whose W it took; 0 when its W came from elsewhere.
    int series = 0;
    /// A check standard (benzoic acid run as a sample): the certificate's value (J/g) and the
    /// lab's tolerance (%) when it was recorded.
    std::optional<double> checkCertified, checkTolerancePercent;
    /// The calorimeter's series when the determination was recorded (set by the store).
    int activeSeries = 0;
    /// The determination of the same test that this one replaced (rejected when this one was
    /// recorded); 0 for none.
    qint64 replaces = 0;
    /// Why it was replaced: the rejection's reason, given when recording (not kept here).
    QString replaceReason;
    /// A sample whose series changed after it took the series' W: what changed. Worked out when
    /// read (ses::markSeriesChanges), never stored.
    QString seriesChanged;
    /// The entry of the day's samples whose mass this record took (0: none), and where the mass
    /// came from: "balança Mettler Toledo XPR205 B123456789, 10/12/2026 08:41" or "digitada por
    /// ana: …" (empty: typed in the evaluation, as before the list).
    qint64 sampleEntry = 0;
    QString massSource;
    /// Its signatures, oldest first (read with it, never written with the record).
    QList<Signature> signatures;

    /// "registrada", "revisada" or "aprovada", by its signatures; a rejection is said apart.
    QString signedState() const;
    /// The last signature of `m`, if any.
    const Signature* lastSigned(Signature::Meaning m) const;

    bool rejected() const { return !rejectedReason.isEmpty(); }
};

/// Which determinations a list holds; every condition left empty holds them all.
struct Filter {
    QString sample;             ///< the sample code
    bool samplePart = false;    ///< `sample` may be any part of the code, in any case
    std::optional<Determination::Kind> kind;
    QString calorimeter;
    QDate since, until;         ///< test dates, both included
    enum class Status { Any, Valid, Rejected } status = Status::Any;
};

/// One series of a calorimeter's calibrations: the first begins with the calorimeter, each
/// other on request (a part changed), and the old ones are kept.
struct Series {
    int number = 0;
    QDateTime startedUtc;
    QString reason;
};

/// One entry of the audit trail. Each carries the SHA-256 of the previous entry and its own,
/// over `chainText()`, so an entry changed, removed or inserted afterwards breaks the chain.
struct AuditEntry {
    qint64 id = 0;
    QDateTime atUtc;
    QString user;    ///< on PostgreSQL the role the server authenticated, set by the server
    QString action;  ///< "registro", "rejeicao", "nova-serie", "regra", "adocao", "esquema"
    qint64 determination = 0; ///< 0 when the entry is about a calorimeter
    QString subject; ///< the calorimeter
    QString before, after; ///< the state changed, as compact JSON ("" when none)
    QByteArray prevSha256, sha256; ///< hex

};

/// One entry of the day's samples: weighed before its test, then taken by the record of the
/// test it was burnt in. Never deleted: one not burnt is discarded with its reason.
struct QueuedSample {
    enum class Kind { Sample, Calibration, Check };
    enum class State { ToWeigh, Weighed, Recorded, Discarded };

    qint64 id = 0;  ///< given by the store
    QDate day;      ///< the day's list it was added to
    QString code, description, calorimeter;
    Kind kind = Kind::Sample;
    /// A calibration's certified heat of combustion, or a check standard's certificate (J/g).
    std::optional<double> certified;
    std::optional<double> aidMass; ///< the combustion aid's mass (g), when one is used
    std::optional<double> mass;    ///< g, once weighed
    bool massTyped = false;        ///< typed, with a reason, instead of read from the balance
    /// "balança Mettler Toledo XPR205 B123456789, 10/12/2026 08:41" or "digitada por ana: …".
    QString massSource;
    QString balanceLine;           ///< the balance's line of the mass, as received
    QDateTime weighedUtc;
    State state = State::ToWeigh;
    qint64 determination = 0;      ///< the record that took it
    QString discardedReason;
    QDateTime addedUtc;
    QString addedBy;

    bool pending() const { return state == State::ToWeigh || state == State::Weighed; }
};

/// "amostra", "calibração", "padrão"; and the states "a pesar", "pesada", "registrada",
/// "descartada", as the list shows them.
QString kindText(QueuedSample::Kind k);
QString stateText(QueuedSample::State s);
/// The keys the database and the command line use: amostra, calibracao, padrao.
QString kindKey(QueuedSample::Kind k);
std::optional<QueuedSample::Kind> kindFromKey(const QString& key);

/// What a walk along the audit trail found.
struct TrailCheck {
    bool intact = true;
    qint64 entries = 0, determinations = 0;
    qint64 brokenEntry = 0; ///< the first entry that breaks the chain (0: none, or a record)
    qint64 brokenDetermination = 0; ///< a determination that differs from its trail
    QString problem;  ///< in words, naming the entry or the determination
    QByteArray head;  ///< the last entry's SHA-256: written down, it shows a later cut of the end
    /// Rows that differ from their trail only in how a text is written (a byte-order mark, a
    /// space at an end, an accent composed otherwise), as earlier versions could leave them: not
    /// a change, but said.
    QStringList normalisedOnly;
};

/// Loads the database drivers now, while the program starts: under Wine, a driver's library
/// loaded for the first time after a download or a file dialog left the window hanging in the
/// system's loader.
void loadDrivers();

/// The user name the system gives this program, or "" when it gives none.
QString systemUser();

/// A text as the results database keeps it: Unicode NFC, without invisible format characters
/// (a byte-order mark, zero-width and direction marks), without leading and trailing spaces.
QString cleanText(const QString& text);
/// The first one-line field with a control character (a newline, a tab, an escape), in words.
std::optional<QString> controlCharacterIn(const QList<std::pair<QString, QString>>& fields);

/// The SHA-256 (hex) of readings, over a canonical text of them.
QByteArray readingsDigest(const std::vector<Determination::Reading>& readings);

class Store {
public:
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    /// What the opener will do with the database.
    enum class Access {
        /// Write: a SQLite file is checked for damaged pages first, so that nothing is written
        /// into a damaged file.
        Write,
        /// Only read (list, show, verify): a file that this user may not write, or whose folder
        /// is read-only, is opened read-only instead of refused.
        Read,
    };
    /// Opens the database, creating it or bringing its schema up to date (each step in one
    /// transaction); nothing, with the reason, when it cannot be opened or is newer than this
    /// program.
    static std::unique_ptr<Store> open(const Location& where, QString* error, Access access = Access::Write);
    /// Opened read-only (a file in a folder this user may not write).
    bool readOnly() const { return readOnly_; }

    int schemaVersion() const;
    /// The database as the user reads it: the file, or server/database.
    QString where() const { return where_; }
    /// Writes one determination with its readings, all or nothing; its number. A test that
    /// already has a valid determination is refused, unless `d.replaces` names it: that one is
    /// then rejected with `d.replaceReason` in the same transaction.
    std::optional<qint64> record(const Determination& d, QString* error);
    /// The valid determination of the test whose readings have this digest; 0 when none.
    std::optional<qint64> validByDigest(const QByteArray& digest, QString* error) const;
    /// One determination with its readings.
    std::optional<Determination> determination(qint64 id, QString* error) const;
    /// The determinations the filter holds, without their readings, newest first.
    std::optional<QList<Determination>> list(const Filter& filter, QString* error) const;
    std::optional<QList<Determination>> list(QString* error) const { return list(Filter{}, error); }
    /// The calorimeters named so far, in order of name.
    std::optional<QStringList> calorimeters(QString* error) const;
    /// Marks a valid determination rejected, with its reason; it stays in the list.
    bool reject(qint64 id, const QString& reason, QString* error);

    /// On the lab's server: the role whose members alone may reject a record, start a series or
    /// set a rule (config.xml's PapelRevisor); empty, anyone may. A SQLite file has no roles.
    void setReviewerRole(const QString& role) { reviewerRole_ = role.trimmed(); }

    /// The acceptance rule of a calorimeter's series (DIN 51900 until the lab sets one).
    std::optional<CalibrationRule> calibrationRule(const QString& calorimeter, QString* error) const;
    bool setCalibrationRule(const QString& calorimeter, const CalibrationRule& rule, QString* error);
    /// A calorimeter's series, oldest first (empty for a calorimeter never named).
    std::optional<QList<Series>> series(const QString& calorimeter, QString* error) const;
    /// Starts a new series of a known calorimeter; its number.
    std::optional<int> newSeries(const QString& calorimeter, const QString& reason, QString* error);

    /// Adds a sample to the day's list (to weigh); its number. Its code, kind and calorimeter
    /// are required; a calibration needs its certified heat.
    std::optional<qint64> addSample(const QueuedSample& s, QString* error);
    /// The sample's mass: read from the balance (`source` names it, `line` is its line), or
    /// typed (`source` says who and why). Only a sample not yet recorded nor discarded.
    bool weighSample(qint64 id, double grams, bool typed, const QString& source, const QString& line, QString* error);
    /// Discards a sample not recorded, with its reason.
    bool discardSample(qint64 id, const QString& reason, QString* error);
    /// The list of `day`, with every sample of earlier days still to weigh or weighed; oldest first.
    std::optional<QList<QueuedSample>> samples(const QDate& day, QString* error) const;
    std::optional<QueuedSample> sample(qint64 id, QString* error) const;
    /// Who the store's changes are entered as (the system's user; on the lab's server its role).
    QString user() const { return user_; }

    /// Signs determination `id` as reviewed or approved. The signer's password is checked every
    /// time: on a SQLite file against the database's users, on the lab's server by the server
    /// itself (a connection as that role, which then writes the signature). `doubts` (the
    /// duplicates disagree, the series under its W changed) refuse an approval without a comment.
    bool sign(qint64 id, Signature::Meaning meaning, const Signer& signer, const QString& comment, const SigningRules& rules,
              const QString& doubts, QString* error);
    /// Rejects an approved determination: a reviewer's signature with the reason.
    bool rejectSigned(qint64 id, const QString& reason, const Signer& signer, QString* error);
    /// The signers of a SQLite file. The first added is the administrator; each later one is
    /// added with the administrator's password.
    bool addUser(const SigningUser& user, const QString& password, const Signer& administrator, QString* error);
    std::optional<QList<SigningUser>> users(QString* error) const;
    /// A new password, given the user's own or the administrator's.
    bool setUserPassword(const QString& name, const QString& password, const Signer& authority, QString* error);

    /// The entries of the audit trail about one determination, oldest first; every entry when
    /// `determination` is 0.
    std::optional<QList<AuditEntry>> history(qint64 determination, QString* error) const;
    /// Walks the audit trail: each entry's hash and link, then each determination against the
    /// last state the trail gives it and its readings against their digest.
    std::optional<TrailCheck> verify(QString* error) const;

private:
    explicit Store(QString connection);
    /// The signer checked, with the full name; on the lab's server the store that signs as them.
    struct Checked {
        QString user, fullName;
        bool reviewer = false;
        std::unique_ptr<Store> asSigner;
    };
    std::optional<Checked> checkSigner(const Signer& s, QString* why) const;
    bool signIn(QSqlDatabase& db, const QString& auditUser, qint64 id, Signature::Meaning m, const Checked& who,
                const QString& comment, QString* why);
    bool loadSignatures(QList<Determination>& list, QString* error) const;
    Location location_;
    QString connection_;
    QString where_;
    QString user_; ///< who the audit entries name (PostgreSQL: the server's session_user)
    QString reviewerRole_;
    bool readOnly_ = false;
    /// False, with why, when the lab limits reviewing to a role the user is not a member of.
    bool mayReview(const QString& what, QString* why) const;

    /// Adds series `reason` to a calorimeter, with its entry; in the caller's transaction.
    std::optional<int> startSeries(qint64 calorimeter, const QString& name, const QString& reason, QString* why);
    /// Rejects in the caller's transaction; an approved determination only with a signature
    /// (`signedRejection`, written just before).
    bool rejectIn(QSqlDatabase& db, qint64 id, const QString& reason, QString* why, bool signedRejection = false);
    /// Enters the columns a schema step added to every determination, so the trail follows.
    bool trailNewColumns(QString* why);
    /// Enters what a database of before the trail holds, so the trail covers it from now on.
    bool adoptIntoTrail(QString* why);
    /// verify's walk, in the snapshot verify holds.
    std::optional<TrailCheck> walkTrail(QString* error) const;
};

} // namespace rec
