#pragma once
// The export's second format: CSV in the Brazilian form (";" between cells, "," as the decimal
// separator, UTF-8 with a byte-order mark, CR LF), one line of captions and one per row.
#include "acquisition/records.h"

#include <QByteArray>

QByteArray recordsCsv(const acq::RowSource& rows);
