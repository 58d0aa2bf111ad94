#pragma once
// A test as CSV the way spreadsheets set to Brazilian Portuguese read it: UTF-8 with a
// byte-order mark, ";" between fields, decimal comma, CR LF, the spreadsheet's captions.
#include "acquisition/table.h"

#include <QByteArray>

/// The visible rows of `table` (one test when it is filtered), every field as the grid shows it.
QByteArray testCsv(acq::Table& table);
