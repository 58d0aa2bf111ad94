#pragma once
// Every message the program tells its user, once: the window's boxes and the command line's
// lines read their texts here. Texts with "%1" take their argument with QString::arg.
#include <QString>

namespace ses::msg {

// Download and memory clear
inline const QString CommunicationError = QStringLiteral("Erro de comunicação!");
inline const QString InvalidContents = QStringLiteral("Conteúdo da memória inválido!");
inline const QString MemoryEmpty = QStringLiteral("Memória está vazia!");
inline const QString DownloadCancelled = QStringLiteral("Leitura cancelada pelo usuário.");
inline const QString DownloadCancelAsk =
    QStringLiteral("A memória do registrador está sendo lida. Deseja cancelar a leitura?");
inline const QString DownloadCancelling = QStringLiteral("Cancelando...");
inline const QString CancelledExit = QStringLiteral("cancelado");
inline const QString ClearAsk = QStringLiteral("Deseja realmente limpar todos os dados registrados?");
inline const QString ClearOk = QStringLiteral("Operação executada com sucesso!");
inline const QString ClearFailed = QStringLiteral("Erro ao executar operação!");
// The detail text of CommunicationError: which request failed, why, after how many tries.
inline const QString LinkFailureDetail = QStringLiteral("%1: %2 (%3 tentativas).");
inline const QString LinkStageProbe = QStringLiteral("Pedido de diagnóstico");
inline const QString LinkStageHeader = QStringLiteral("Pedido do cabeçalho da memória");
inline const QString LinkStageBlock = QStringLiteral("Leitura da memória a partir do registro %1");
inline const QString LinkNoAnswer = QStringLiteral("o registrador não respondeu");
inline const QString LinkCutShort = QStringLiteral("a resposta chegou interrompida, com %1 caracteres");
inline const QString LinkBadAnswer =
    QStringLiteral("a resposta de %1 caracteres veio com formato, tamanho ou valor de verificação errado");
inline const QString LinkDisagreeing = QStringLiteral("duas respostas seguidas não concordaram");

// Start-up, port and configuration
inline const QString ConfigMissing = QStringLiteral("Arquivo de configuração não encontrado!");
inline const QString ConfigInvalid = QStringLiteral("Arquivo de configuração inválido!");
inline const QString ConfigNotSaved = QStringLiteral("Não consegui salvar as configurações!");
inline const QString PortFailed = QStringLiteral("Não consegui abrir a porta de comunicação.");
// The detail text of PortFailed when the device is there but the user may not use it.
inline const QString PortNoPermission = QStringLiteral("O seu usuário não tem permissão para usar %1.");
inline const QString PortJoinGroup =
    QStringLiteral("O dispositivo é do grupo %1: acrescente o seu usuário a ele e entre de novo "
                   "na sessão.\n\n    sudo adduser $USER %1");

// Unsaved data
inline const QString NothingToSave = QStringLiteral("Não há dados para salvar.");
inline const QString UnsavedQuit = QStringLiteral("Existem dados registrados não salvos. Deseja sair assim mesmo?");
inline const QString UnsavedReplace =
    QStringLiteral("Existem dados registrados não salvos. Deseja substituí-los assim mesmo?");

// Data files
inline const QString NotADataFile = QStringLiteral("O arquivo \"%1\" não é um arquivo de dados: %2");

// Export
inline const QString ExportOk = QStringLiteral("Arquivo exportado com sucesso");
inline const QString ExportExists = QStringLiteral("Arquivo já existe! Deseja gravar mesmo assim?");
inline const QString ExportNoFileName = QStringLiteral("Erro: nome de arquivo inválido");
inline const QString ExportNoSource = QStringLiteral("Erro: componente nulo");
inline const QString ExportCancelled = QStringLiteral("Erro: cancelado pelo usuário");
inline const QString ViewerFailed = QStringLiteral("Não foi possível abrir o arquivo exportado. Ele foi gravado em:");

// Evaluation
inline const QString TestWithoutSamples = QStringLiteral("O ensaio %1 não tem amostras.");
inline const QString TestNotInFile = QStringLiteral("Ensaio %1 não está no arquivo; ensaios presentes: %2");

} // namespace ses::msg
