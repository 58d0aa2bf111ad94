#include "link/log.h"

Q_LOGGING_CATEGORY(lcLink, "registrador.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDownload, "registrador.download", QtWarningMsg)
