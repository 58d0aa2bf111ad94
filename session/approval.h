#pragma once
// Reviewing and approving determinations with electronic signatures, and sending the approved
// results to the lab's LIMS: the doubts an approval must answer, and the results in the LIMS's
// forms (a flat CSV, JSON, SENAITE's import CSV), one file per approval dropped in its folder.
#include "records/store.h"
#include "session/settings.h"

#include <QDate>
#include <QString>
#include <optional>

namespace ses {

/// Why approving `d` needs a comment: its sample's duplicates disagree, or the series under its
/// W changed after it was recorded; empty when neither.
std::optional<QString> approvalDoubts(const rec::Store& store, const rec::Determination& d, double repeatability,
                                      QString* error);

/// "aprovada por chefe_lab em 10/12/2026 15:02", "revisada por …", "registrada", or the rejection.
QString signedStateText(const rec::Determination& d);

/// The LIMS's forms. Layout version 1: see the README.
std::optional<LimsForm> limsFormNamed(const QString& name);
inline constexpr int kLimsLayoutVersion = 1;

/// The approved determinations (valid, signed "Aprovado") tested on or after `since`, oldest first.
std::optional<QList<rec::Determination>> approvedResults(const rec::Store& store, const QDate& since, QString* error);
/// The results in `form`, UTF-8. SENAITE's form has one row a sample: its approved value, or the
/// mean of its agreeing duplicates; a sample whose approved duplicates disagree is left out and
/// named in `leftOut`.
QByteArray limsFile(const QList<rec::Determination>& approved, LimsForm form, const Settings& s, double repeatability,
                    QStringList* leftOut = nullptr);
/// Writes determination `d`'s file in the LIMS folder (PastaLIMS) once, whole or not at all,
/// named by its number; a file already there is never rewritten. False with why.
bool dropInLimsFolder(const rec::Determination& d, const Settings& s, QString* why);
/// Every approved result whose file is not yet in the folder; how many were written.
std::optional<int> dropPending(const rec::Store& store, const Settings& s, QString* why);

} // namespace ses
