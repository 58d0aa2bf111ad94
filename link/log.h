#pragma once
// Diagnostics of the link and the download: silent unless enabled with the usual Qt logging
// rules (QT_LOGGING_RULES="registrador.*=true") or registrador-cli --verbose.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcDownload)
