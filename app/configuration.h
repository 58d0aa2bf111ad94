#pragma once
// Start-up configuration: "config.xml" read through the configuration table, each key
// validated, the run-time values kept for the rest of the program.
#include "acquisition/table.h"
#include "app/messageservice.h"
#include "link/portmap.h"

#include <QString>

struct RuntimeConfig {
    qint32 port = 1;
    qint64 intAq = 25;
    float coef1 = 1, coef2 = 1, desl1 = 0, desl2 = 0;
    bool debug = false;
};

inline const QString kConfigFileName = QStringLiteral("config.xml");
inline const QString kMsgConfigMissing = QStringLiteral("Arquivo de configuração não encontrado!");
inline const QString kMsgConfigInvalid = QStringLiteral("Arquivo de configuração inválido!");

/// Reads "config.xml" in `dir` into `config` and the COM1 … COM4 device rows into `ports`.
/// Every failure is shown through `messages` and makes the result false (termination); the
/// remaining keys are still read. After the first failure, later boxes close by themselves.
bool loadStartupConfig(const QString& dir, MessageService& messages, RuntimeConfig& config,
                       lnk::PortMap* ports);
