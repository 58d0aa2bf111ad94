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
inline const QString LinkException =
    QStringLiteral("o registrador respondeu com uma exceção (código %1): está ocupado ou não aceitou o pedido");

// Start-up, port and configuration
inline const QString ConfigMissing = QStringLiteral("Arquivo de configuração não encontrado!");
inline const QString ConfigInvalid = QStringLiteral("Arquivo de configuração inválido!");
inline const QString ConfigNotSaved = QStringLiteral("Não consegui salvar as configurações!");
inline const QString PortFailed = QStringLiteral("Não consegui abrir a porta de comunicação.");
// Under a download's CommunicationError when nothing came back.
inline const QString PortReopened =
    QStringLiteral("A porta foi reaberta: confira se o registrador está ligado e conectado e tente de novo.");
inline const QString PortNotReopened =
    QStringLiteral("A porta %1 não pôde ser reaberta: o cabo ou o adaptador USB pode estar desconectado. Conecte-o e "
                   "tente de novo.");
// The detail text of PortFailed for any other cause.
inline const QString PortMissing =
    QStringLiteral("COM%1 é o dispositivo %2, que não existe: o adaptador USB pode estar desconectado ou ter outro "
                   "nome (a linha COM%1 do config.xml escolhe o dispositivo).");
inline const QString PortBusy =
    QStringLiteral("COM%1 é o dispositivo %2, que não pôde ser aberto: pode não existir, estar desconectado ou em "
                   "uso por outro programa.");
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

// The grid's own confirmation before Ctrl+Delete removes a row, as the toolkit words it.
inline const QString GridDeleteAsk = QStringLiteral("Delete record?");

// Data files
inline const QString NotADataFile = QStringLiteral("O arquivo \"%1\" não é um arquivo de dados: %2");
// A data file cut short or damaged: its whole tests offered, the one it stops in left out.
inline const QString PartialFile =
    QStringLiteral("O arquivo \"%1\" está incompleto ou danificado: %2.\n\nOs ensaios inteiros que ele contém podem "
                   "ser lidos (%3); o ensaio %4, onde o arquivo se interrompe, fica de fora.");
inline const QString PartialFileAsk = QStringLiteral("\n\nAbrir os ensaios inteiros?");
inline const QString PartialFileCli = QStringLiteral(" Use --partial para lê-los.");
inline const QString PartialFileRead =
    QStringLiteral("Lidos só os ensaios inteiros de \"%1\" (%2); o ensaio %3, onde o arquivo se interrompe, ficou de fora.");

// Export
inline const QString ExportOk = QStringLiteral("Arquivo exportado com sucesso");
inline const QString ExportExists = QStringLiteral("Arquivo já existe! Deseja gravar mesmo assim?");
inline const QString ExportNoFileName = QStringLiteral("Erro: nome de arquivo inválido");
inline const QString ExportNoSource = QStringLiteral("Erro: componente nulo");
inline const QString ExportCancelled = QStringLiteral("Erro: cancelado pelo usuário");
inline const QString ViewerFailed = QStringLiteral("Não foi possível abrir o arquivo exportado. Ele foi gravado em:");

// The results database
inline const QString RecordNotSaved = QStringLiteral("Não foi possível gravar no banco de resultados: %1");
/// A record's failure with its prefix once, whether or not the cause already carries it.
inline QString recordNotSaved(const QString& why) {
    return why.startsWith(RecordNotSaved.section(QLatin1Char(':'), 0, 0)) ? why : RecordNotSaved.arg(why);
}
inline const QString DefaultCalorimeter = QStringLiteral("BC-200");
inline const QString DefaultOperator = QStringLiteral("operador");
inline const QString RecordNeedsResult = QStringLiteral("Só um ensaio avaliado pode ser registrado.");
inline const QString RecordNeedsSample = QStringLiteral("Informe o código da amostra.");
inline const QString RecordNeedsField = QStringLiteral("Preencha os campos marcados com *.");
inline const QString Recorded = QStringLiteral("Determinação registrada com o número %1.");
inline const QString DuplicatesAgree = QStringLiteral("concordam: %1");
inline const QString DuplicatesMixedBasis =
    QStringLiteral(" (bases diferentes: umas com umidade, outras sem; confira antes de usar)");
inline const QString DuplicatesRepeat = QStringLiteral("repetir");
inline const QString SettingInvalid =
    QStringLiteral("config.xml, linha %1: \"%2\" não é um valor possível; usado %3.");
inline const QString SettingNoW = QStringLiteral("nenhum equivalente energético");
inline const QString ConfigFileInvalid = QStringLiteral("Arquivo de configuração inválido! %1: %2");
inline const QString ClearUnsaved =
    QStringLiteral("Os dados lidos do registrador ainda não foram salvos: depois de limpar a memória, esta tela "
                   "terá a única cópia deles. Continuar mesmo assim?");
inline const QString RejectConfirm =
    QStringLiteral("Rejeitar a determinação nº %1? A rejeição não pode ser desfeita.");
inline const QString AlreadyRejected = QStringLiteral("A determinação nº %1 já foi rejeitada.");
inline const QString RejectNeedsReason = QStringLiteral("Informe o motivo da rejeição.");
inline const QString ChooseDetermination = QStringLiteral("Escolha na lista a determinação a rejeitar.");
inline const QString ChooseDeterminationToOpen = QStringLiteral("Escolha uma determinação na lista.");

// Evaluation
inline const QString TestWithoutSamples = QStringLiteral("O ensaio %1 não tem amostras.");
inline const QString TestNotInFile = QStringLiteral("Ensaio %1 não está no arquivo; ensaios presentes: %2");
inline const QString GiveMassForResult = QStringLiteral("Informe a massa para o resultado.");
inline const QString GiveMassAndEnergyEquivalent =
    QStringLiteral("Informe a massa e o equivalente energético para o resultado.");
inline const QString ReportNotCreated = QStringLiteral("Não foi possível criar o relatório.");
// A stray end mark among a test's samples: the test, and the last sample read before it.
inline const QString StrayEndMark =
    QStringLiteral("%1: marca de fim no meio do ensaio, depois da amostra %2; as amostras seguintes não foram "
                   "lidas, e a máxima e a mínima podem estar erradas.");

// The command line: its lines on the standard error
inline const QString CliDeviceFailed = QStringLiteral("%1 (%2)");
inline const QString CliCannotWrite = QStringLiteral("%1: %2");
inline const QString CliSameFile = QStringLiteral("%1: é o mesmo arquivo que %2; grave em outro arquivo");
inline const QString CliNoSamples = QStringLiteral("A memória não tem amostras; %1 não foi gravado");
inline const QString CliSaved = QStringLiteral("%1 ensaio(s), %2 linha(s) gravadas em %3");
inline const QString CliLargerThanMemory = QStringLiteral("%1: maior que a memória do registrador (%2 bytes)");
inline const QString CliCannotOpen = QStringLiteral("Não foi possível abrir o arquivo \"%1\": %2");
inline const QString CliTooShortForHeader = QStringLiteral("%1: curto demais para conter o cabeçalho da memória");
inline const QString CliFormatUnknown =
    QStringLiteral("registrador-cli export: --format deve ser xls ou csv, não \"%1\"");
inline const QString CliNoDrawing = QStringLiteral("%1: não foi possível desenhar a imagem");
inline const QString CliSizeForm = QStringLiteral("--size: use LxA, por exemplo 800x600");
inline const QString CliNotANumber = QStringLiteral("--%1: não é um número: %2");
inline const QString CliMethodUnknown = QStringLiteral("--method: use regnault-pfaundler ou dickinson, não \"%1\"");
inline const QString CliPeriodsForm =
    QStringLiteral("--periods: use A,B,C,D em minutos, por exemplo 0,5,12,17 (ou 0;5;11,5;17)");
inline const QString CliEnergyEquivalentWithCalibrate =
    QStringLiteral("--energy-equivalent não se usa com --calibrate: a calibração calcula W");
inline const QString CliHeatWithoutCalibrate = QStringLiteral("--heat só se usa com --calibrate");
inline const QString CliCorrectionAlone =
    QStringLiteral("--%1 só se usa com --energy-equivalent e --mass, ou com --calibrate");
inline const QString CliCalibrateNeeds = QStringLiteral("--calibrate precisa de --mass e --heat");
inline const QString CliCalorificNeeds =
    QStringLiteral("o poder calorífico precisa de --energy-equivalent e --mass");
inline const QString CliUnknownOption = QStringLiteral("registrador-cli: opção desconhecida \"%1\"");
inline const QString CliUnknownCommand = QStringLiteral("registrador-cli: comando desconhecido \"%1\"");
inline const QString CliCommandError = QStringLiteral("registrador-cli %1: %2");
inline const QString CliOptionTwice = QStringLiteral("registrador-cli %1: a opção --%2 foi dada mais de uma vez");
inline const QString CliArgumentTooMany = QStringLiteral("registrador-cli %1: argumento a mais: %2");
inline const QString CliArgumentMissing = QStringLiteral("registrador-cli %1: falta %2");
inline const QString CliUsage = QStringLiteral("Uso: registrador-cli %1 %2");
inline const QString CliOptionMissing = QStringLiteral("registrador-cli %1: falta --%2");
inline const QString CliNoTests = QStringLiteral("nenhum");
inline const QString CliMeasuredAndJoules = QStringLiteral("--%1 e --%2 dão a mesma correção: use um dos dois");
inline const QString CliWirePerCmAlone = QStringLiteral("--wire-j-per-cm só se usa com --wire-cm");
inline const QString CliTitrationNeedsNormality = QStringLiteral("--titration-ml e --normality vão juntos");
inline const QString CliNetNeeds =
    QStringLiteral("o poder calorífico inferior precisa de --hydrogen-pct e do poder calorífico superior "
                   "(--energy-equivalent e --mass)");
inline const QString NetNeeds =
    QStringLiteral("O poder calorífico inferior precisa do hidrogênio e do poder calorífico superior (uma amostra "
                   "com massa e equivalente energético); oxigênio + nitrogênio sozinhos não bastam.");
inline const QString NetNeedsMoisture =
    QStringLiteral("O poder calorífico inferior precisa também da umidade da amostra analisada (0 se ela está seca): "
                   "sem ela o resultado sairia na base seca sem dizer.");
inline const QString CliNetNeedsMoisture =
    QStringLiteral("--hydrogen-pct precisa também de --moisture-pct (0 se a amostra está seca)");
inline const QString AnalysisOutOfRange =
    QStringLiteral("Umidade, hidrogênio e oxigênio + nitrogênio são porcentagens de 0 a 100.");
inline const QString CliTestDateForm = QStringLiteral("--test-date: use AAAA-MM-DD, não \"%1\"");
inline const QString CliAidNeedsBoth = QStringLiteral("--aid-mass e --aid-heat vão juntos");
inline const QString EnergyEquivalentFromCommandLine = QStringLiteral("informado na linha de comando");
inline const QString EnergyEquivalentTyped = QStringLiteral("digitado na avaliação");
inline const QString EnergyEquivalentFromConfig = QStringLiteral("config.xml, EquivalenteEnergetico");
inline const QString CliRuleForm = QStringLiteral("--rule: use din, astm ou lab, não \"%1\"");
inline const QString CliRuleLimits = QStringLiteral("--min-runs é ao menos 2 e --max-rsd, um número positivo");
inline const QString CliDateForm = QStringLiteral("--%1: use AAAA-MM-DD, não \"%2\"");
inline const QString CliKindForm = QStringLiteral("--kind: use sample ou calibration, não \"%1\"");
inline const QString CliUnitForm = QStringLiteral("--unit: use J/g, MJ/kg, cal/g ou Btu/lb, não \"%1\"");
inline const QString CliResultsHeader = QStringLiteral("Nº\tTipo\tAmostra\tCalorímetro\tData do ensaio\tResultado\tSituação");
inline const QString Rejected = QStringLiteral("rejeitada: %1");
inline const QString CliExtensionNotFormat =
    QStringLiteral("registrador-cli export: %1 não termina em .%2, a extensão do formato %2; use --out com .%2 ou --format %3");
inline const QString CliClearNeedsYes =
    QStringLiteral("registrador-cli clear apaga todos os dados registrados no registrador; confirme com --yes.");
inline const QString CliDumpShort = QStringLiteral("%1: o cabeçalho indica %2 bytes de dados, mas o arquivo tem %3");

inline const QString SeriesHeading = QStringLiteral("%1, série %2 (%3) — %4: %5 (%6)");
inline const QString EnergyEquivalentFromSeries = QStringLiteral("série %1 do calorímetro %2");
inline const QString NoAcceptedSeries =
    QStringLiteral("O calorímetro %1 não tem série de calibração aceita (%2): o equivalente energético deste resultado "
                   "não vem de uma série aceita.");
inline const QString WDiffersFromSeries =
    QStringLiteral("O equivalente energético usado (%1 J/K) não é o da %2 (%3 J/K).");
inline const QString SeriesStarted = QStringLiteral("série %1 do calorímetro %2 iniciada");
inline const QString ChartTitle = QStringLiteral("Gráfico de controle do equivalente energético — calorímetro %1");
inline const QString ChartEmpty = QStringLiteral("Nenhuma calibração registrada para o calorímetro %1.");
inline const QString ChartNotCreated = QStringLiteral("Não foi possível criar a imagem do gráfico de controle.");
inline const QString RsdLimitForm = QStringLiteral("O DPR máximo é uma porcentagem positiva, como 0,1.");
inline const QString NewSeriesNeedsReason =
    QStringLiteral("Informe o motivo da nova série (por exemplo, \"troca de peça\").");
inline const QString NewSeriesConfirm =
    QStringLiteral("Iniciar uma nova série de calibração do calorímetro %1?\n\nAs amostras deixam de usar o W da série "
                   "atual até que a nova seja aceita; as séries anteriores ficam guardadas.");
inline const QString NoHistory = QStringLiteral("Esta determinação não tem entradas na trilha de auditoria.");
inline const QString RecordedWithSeries = QStringLiteral("Determinação registrada com o número %1, com o W da %2.");
inline const QString CliUnknownCalorimeter =
    QStringLiteral("o calorímetro \"%1\" não consta do banco de resultados (%2)");
inline const QString UseTypedW = QStringLiteral("Usar o W digitado na avaliação (%1 J/K) em vez do da %2 (%3 J/K)");
inline const QString ReplaceChoice = QStringLiteral("&Substituir a determinação %1 (ela será rejeitada), pelo motivo:");
inline const QString ReplaceHint =
    QStringLiteral("Para registrar esta avaliação no lugar dela, marque \"Substituir a determinação %1\" e informe o motivo.");
inline const QString NoteReplaces = QStringLiteral("Substitui a determinação %1, que será rejeitada.");
inline const QString NoWAtAll =
    QStringLiteral("O calorímetro %1 não tem série de calibração aceita e nenhum equivalente energético foi informado.");
inline const QString AlreadyRecorded = QStringLiteral("Este ensaio já foi registrado: determinação %1");
inline const QString ReplaceNotThisTest =
    QStringLiteral("A determinação %1 não é uma determinação válida deste ensaio; só ela poderia ser substituída.");
inline const QString ReplaceNeedsReason = QStringLiteral("Informe o motivo da substituição.");
inline const QString ReplacedBy = QStringLiteral("%1 (substituída pela determinação %2)");
inline const QString SeriesChanged = QStringLiteral("a série %1 mudou depois do registro: %2");
inline const QString SeriesRunRejected = QStringLiteral("a corrida %1 foi rejeitada");
inline const QString SeriesRunAdded = QStringLiteral("a corrida %1 entrou nela");
inline const QString SeriesStartedAfter = QStringLiteral("a série %1 começou em %2 (%3)");
inline const QString NoteCalibrationJoins = QStringLiteral("A calibração entra na série %1 do calorímetro %2.");
inline const QString NoSeriesYet = QStringLiteral("nenhuma calibração registrada");
inline const QString CheckStandardLine =
    QStringLiteral("Padrão de verificação: encontrado %1 J/g, certificado %2 J/g, desvio %3 % (tolerância ±%4 %): %5");
inline const QString CheckWithin = QStringLiteral("dentro da tolerância");
inline const QString CheckOutside = QStringLiteral("FORA DA TOLERÂNCIA");
inline const QString CheckNeedsSample =
    QStringLiteral("Um padrão de verificação é registrado como amostra, com massa e poder calorífico superior.");
inline const QString CheckCertifiedPositive = QStringLiteral("O valor certificado do padrão deve ser um número positivo (J/g).");
inline const QString TrailIntact =
    QStringLiteral("íntegro: %1 entradas, %2 determinações conferidas; última entrada %3");
inline const QString TrailBroken = QStringLiteral("trilha de auditoria violada: %1");
inline const QString TrailNormalisedOnly =
    QStringLiteral("Sem alteração, mas gravados por uma versão anterior com um texto escrito de outro modo do que a trilha "
                   "registrou (uma marca de ordem de bytes, espaços nas pontas ou acentos compostos de outra forma): %1.");
inline const QString CliVerifyTrail = QStringLiteral("registrador-cli results verify: %1");
inline const QString CliReasonForSeries = QStringLiteral("results new-series precisa de --calorimeter e --reason");
inline const QString CliCheckNeedsSample =
    QStringLiteral("--check-standard é de uma amostra (com --mass), não de uma calibração");
inline const QString CliReplacesForm = QStringLiteral("--replaces: dê o número da determinação e --reason TEXTO");
inline const QString CliHowToReplace =
    QStringLiteral("Para registrar esta avaliação no lugar dela, use --replaces %1 --reason \"motivo\".");
inline const QString OldDatabaseFound =
    QStringLiteral("Há um banco de resultados de uma versão anterior em %1; o banco padrão agora é %2. "
                   "Para continuar com ele, mova-o para lá (registrador-cli results where --move, ou "
                   "o programa, que oferece movê-lo ao abrir os resultados).");
inline const QString MoveOldDatabase =
    QStringLiteral("Há um banco de resultados de uma versão anterior do programa em\n%1\n\nO banco de resultados agora "
                   "fica em\n%2\n\nMovê-lo para lá agora? (Sem ele, os resultados começam num banco vazio.)");
inline const QString ManyOldDatabasesFound =
    QStringLiteral("Há bancos de resultados de versões anteriores do programa em:\n%1\n\nO banco de resultados agora "
                   "fica em %2. Mova para lá o que deve continuar em uso.");
inline const QString NoOldDatabase = QStringLiteral("Não há banco de resultados de uma versão anterior a mover.");
inline const QString ManyOldDatabases =
    QStringLiteral("Há %1 bancos de resultados de versões anteriores; mova à mão o que deve continuar.");
inline const QString OldDatabaseMoved = QStringLiteral("%1 movido para %2.");
inline const QString CliNoSeriesW =
    QStringLiteral("o calorímetro %1 não tem série de calibração aceita e não há --energy-equivalent nem "
                   "EquivalenteEnergetico em config.xml");

/// An audit entry's action in words.
inline QString auditAction(const QString& key) {
    if (key == QLatin1String("registro"))
        return QStringLiteral("registrada");
    if (key == QLatin1String("rejeicao"))
        return QStringLiteral("rejeitada");
    if (key == QLatin1String("nova-serie"))
        return QStringLiteral("nova série");
    if (key == QLatin1String("regra"))
        return QStringLiteral("regra da série alterada");
    if (key == QLatin1String("calorimetro"))
        return QStringLiteral("calorímetro incluído");
    if (key == QLatin1String("esquema"))
        return QStringLiteral("nova coluna do banco (atualização do programa)");
    if (key == QLatin1String("adocao"))
        return QStringLiteral("incluída na trilha (registro anterior a ela)");
    if (key == QLatin1String("amostra"))
        return QStringLiteral("amostra incluída na lista do dia");
    if (key == QLatin1String("pesagem"))
        return QStringLiteral("amostra pesada");
    if (key == QLatin1String("descarte"))
        return QStringLiteral("amostra descartada");
    if (key == QLatin1String("amostra-registrada"))
        return QStringLiteral("amostra registrada");
    if (key == QLatin1String("assinatura"))
        return QStringLiteral("assinatura eletrônica");
    if (key == QLatin1String("assinante"))
        return QStringLiteral("assinante incluído");
    if (key == QLatin1String("senha"))
        return QStringLiteral("senha de assinatura trocada");
    return key;
}


// ---- the day's samples ------------------------------------------------------------------------------
inline const QString QueuedNotWeighed = QStringLiteral("A amostra \"%1\" da lista ainda não foi pesada.");
inline const QString QueuedNotPending = QStringLiteral("A amostra \"%1\" da lista está %2: não serve mais a um registro.");
inline const QString QueuedOtherKind = QStringLiteral("A amostra \"%1\" da lista é de %2: escolha o mesmo tipo na avaliação.");
inline const QString QueuedOtherCode = QStringLiteral("O código digitado não é o da amostra \"%1\" da lista.");
inline const QString QueuedOtherMass =
    QStringLiteral("A massa da avaliação (%1 g) não é a pesada da amostra \"%2\" (%3 g): escolha a amostra de novo.");
inline const QString QueuedAidNeedsHeat =
    QStringLiteral("A amostra \"%1\" foi pesada com %2 g de auxiliar de combustão: informe o calor de combustão do auxiliar.");
inline const QString CliNoBalance =
    QStringLiteral("registrador-cli: nenhuma balança: use --device PORTA --protocol P, ou as linhas Balanca e BalancaProtocolo de config.xml");
inline const QString CliBalanceProtocolForm = QStringLiteral("registrador-cli: protocolo da balança \"%1\" desconhecido: mt-sics, sbi ou ad");
inline const QString CliBalanceRefused = QStringLiteral("Pesagem recusada: %1");
inline const QString CliQueuedSays = QStringLiteral("registrador-cli record: --%1 vem da amostra da lista (--queued); não o informe");
inline const QString CliQueuedTwice =
    QStringLiteral("Há mais de uma amostra \"%1\" pesada na lista (%2): escolha uma pelo número, com --queued-id N.");
inline const QString CliQueuedIdForm = QStringLiteral("registrador-cli record: --queued-id \"%1\" não é um número de amostra");
inline const QString CliQueuedNone = QStringLiteral("Nenhuma amostra \"%1\" na lista do dia.");
inline const QString CliSampleKindForm = QStringLiteral("registrador-cli samples: tipo \"%1\" desconhecido: amostra, calibracao ou padrao");
inline const QString CliTypedMassNeedsReason =
    QStringLiteral("registrador-cli samples weigh: uma massa digitada precisa do motivo (--reason): por que a balança não foi lida?");
inline const QString NoBalanceConfigured =
    QStringLiteral("Nenhuma balança configurada: informe as linhas Balanca (a porta) e BalancaProtocolo (mt-sics, sbi ou ad) "
                   "de config.xml, ou digite a massa com o motivo.");
inline const QString ChooseSample = QStringLiteral("Escolha uma amostra da lista.");
inline const QString WeighingRefused = QStringLiteral("Pesagem recusada: %1. A lista ficou como estava.");
inline const QString TypedMassMissing = QStringLiteral("Digite a massa da amostra, em gramas.");
inline const QString TypedMassNeedsReason =
    QStringLiteral("Uma massa digitada precisa do motivo: por que a balança não foi lida?");
inline const QString DiscardNeedsReason = QStringLiteral("Informe o motivo do descarte.");
inline const QString DiscardConfirm = QStringLiteral("Descartar a amostra \"%1\"? O descarte não pode ser desfeito.");
inline const QString CliPasswordMissing = QStringLiteral("registrador-cli results: falta a senha");
inline const QString CliUsersUsage = QStringLiteral(
    "Uso: registrador-cli results users add NOME --full-name TEXTO [--reviewer] | users list | users password NOME [--user QUEM]");
inline const QString CliNoLimsFolder = QStringLiteral("registrador-cli results export --pending: config.xml não tem a linha PastaLIMS");
inline const QString CliExportUsage =
    QStringLiteral("Uso: registrador-cli results export --approved [--since AAAA-MM-DD] --format senaite-csv|csv|json --out FILE"
                   " | export --pending");
inline const QString CliLimsFormForm = QStringLiteral("registrador-cli results export: formato \"%1\" desconhecido: senaite-csv, csv ou json");
inline const QString LimsLeftOut =
    QStringLiteral("A amostra \"%1\" ficou de fora: as suas determinações aprovadas não concordam entre si.");
inline const QString LimsDropFailed = QStringLiteral(
    "A aprovação foi gravada, mas o resultado não foi para a pasta do LIMS: %1. Ele será enviado por "
    "\"registrador-cli results export --pending\".");
inline const QString QueuedAidOther = QStringLiteral(
    "A massa do auxiliar de combustão não é a pesada com a amostra \"%1\" (%2 g): escolha a amostra de novo.");
inline const QString QueuedNoAid =
    QStringLiteral("A amostra \"%1\" foi pesada sem auxiliar de combustão: o auxiliar informado não é o dela.");
inline const QString QueuedOtherCheck = QStringLiteral(
    "O padrão de verificação não é o da amostra \"%1\" da lista: o tipo e o valor do certificado vêm da lista.");
inline const QString CliPollForm = QStringLiteral("registrador-cli follow: --poll-ms: um número de milissegundos, 50 ou mais");
inline const QString CliFollowStopped = QStringLiteral("Acompanhamento interrompido (Ctrl+C); o registrador continua gravando.");
inline const QString CliFollowInvalid =
    QStringLiteral("O cabeçalho da memória do registrador deixou de fazer sentido (memória apagada durante o ensaio?).");
inline const QString FollowSilent =
    QStringLiteral("O registrador parou de responder: o que foi lido fica, e ele é consultado de novo a cada 5 s.");
inline const QString FollowWaiting = QStringLiteral("Aguardando o início de um ensaio");
inline const QString FollowMemoryFull = QStringLiteral(
    "A memória do registrador está cheia: ele não grava mais este ensaio. O que foi lido é avaliado; baixe os dados e "
    "apague a memória antes do próximo.");
inline const QString FollowClosed = QStringLiteral("Ensaio encerrado pelo registrador: avaliado");
inline const QString TypedMassSource = QStringLiteral("digitada por %1: %2");

} // namespace ses::msg
