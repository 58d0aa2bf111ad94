#pragma once
// Tables on disk in the XML datapacket form: written merged, in UTF-8, on one line; read in
// UTF-8 or Windows-1252, with or without a change log.
#include "acquisition/records.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace acq {

/// Files larger than this are refused before they are read.
inline constexpr qint64 kMaxDatapacketBytes = 64 * 1024 * 1024;
/// Rows a data file may hold: 32 full logger memories. Tiny rows would otherwise let a file
/// within the size limit take thirty times its size in memory while it is read.
inline constexpr qsizetype kMaxDatapacketRows = 262144;

/// What reading a table gives, value by value: its fields first, then each row's values (a
/// field without a value in a row gets no call), then the next auto-increment value.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void begin(const QList<FieldDef>& fields, qsizetype rowsAtMost) = 0;
    virtual void newRow() = 0;
    virtual void setInt(int field, qint64 v) = 0;     ///< integer fields, checked against their type
    virtual void setDouble(int field, double v) = 0;  ///< floating-point fields, finite
    virtual void setValue(int field, QVariant v) = 0; ///< any field, for texts read the general way
    virtual void end(qint64 autoIncValue) = 0;
};

QByteArray writeDatapacket(const Records& table);
/// Any rows, with the next value of their auto-increment field.
QByteArray writeDatapacket(const RowSource& rows, qint64 autoIncValue);
/// Parses a file's bytes; nothing, with `error` set, when they are not a complete datapacket.
std::optional<Records> readDatapacket(const QByteArray& bytes, QString* error);
/// The same into a sink, which may have been given rows before a failure.
bool readDatapacket(const QByteArray& bytes, RecordSink& sink, QString* error);

/// A datapacket cut short or damaged within its rows, made whole again up to its last complete
/// row: the rows before the damage and nothing invented. Nothing when the damage is not in
/// the rows or no row before it is complete.
std::optional<Records> salvageDatapacket(const QByteArray& bytes);

/// Writes the table whole or not at all (a sibling temporary file renamed over the target).
bool saveDatapacket(const Records& table, const QString& path, QString* error);
bool saveDatapacket(const RowSource& rows, qint64 autoIncValue, const QString& path, QString* error);
/// Reads a file; the caller decides whether to take what it holds.
std::optional<Records> loadDatapacket(const QString& path, QString* error);
bool loadDatapacket(const QString& path, RecordSink& sink, QString* error);
/// Checks that each named field is present; the error names the first one missing.
bool hasFields(const Records& p, const QStringList& names, QString* error);

} // namespace acq
