#pragma once
// The lab's record: every determination kept with its sample's identity, a copy of its
// readings and every figure of its evaluation, in a results database with a versioned schema.
// Records are never deleted: a wrong one is rejected with its reason and stays visible.
#include "evaluation/evaluation.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace rec {

/// The schema this program writes; a database of a newer one is refused.
inline constexpr int kSchemaVersion = 3;

/// Where the results are: a SQLite file, or a PostgreSQL database on the lab's server.
struct Location {
    enum class Kind { SQLite, PostgreSQL };
    Kind kind = Kind::SQLite;
    QString path; ///< SQLite
    QString user, host, database;
    int port = 5432;

    /// A path, or "postgresql://user@host[:port]/database" (the password through libpq's usual
    /// means, never here); empty: resultados.sqlite in the user's data folder.
    static std::optional<Location> parse(const QString& text, QString* error);
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

/// The SHA-256 (hex) of readings, over a canonical text of them.
QByteArray readingsDigest(const std::vector<Determination::Reading>& readings);

class Store {
public:
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    /// Opens the database, creating it or bringing its schema up to date (each step in one
    /// transaction); nothing, with the reason, when it cannot be opened or is newer than this
    /// program.
    static std::unique_ptr<Store> open(const Location& where, QString* error);

    int schemaVersion() const;
    /// Writes one determination with its readings, all or nothing; its number.
    std::optional<qint64> record(const Determination& d, QString* error);
    /// One determination with its readings.
    std::optional<Determination> determination(qint64 id, QString* error) const;
    /// The determinations the filter holds, without their readings, newest first.
    std::optional<QList<Determination>> list(const Filter& filter, QString* error) const;
    std::optional<QList<Determination>> list(QString* error) const { return list(Filter{}, error); }
    /// The calorimeters named so far, in order of name.
    std::optional<QStringList> calorimeters(QString* error) const;
    /// Marks a valid determination rejected, with its reason; it stays in the list.
    bool reject(qint64 id, const QString& reason, QString* error);

private:
    explicit Store(QString connection);
    QString connection_;
};

} // namespace rec
