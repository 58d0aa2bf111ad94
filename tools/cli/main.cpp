// registrador-cli: the program's download, data files, spreadsheet and chart without a window.
// A table of commands, each with its own options; every command parses its arguments with
// QCommandLineParser and refuses unknown options and stray arguments.
#include "tools/cli/cli.h"

using namespace cli;

namespace {

const QList<Command>& commands() {
    static const QList<Command> table = {
        {QStringLiteral("probe"), QStringLiteral("diagnóstico (0x08) com o registrador"),
         QStringLiteral("--device PATH"), {kDevice}, {}, {QStringLiteral("device")}, false, probe},
        {QStringLiteral("download"), QStringLiteral("lê a memória e grava o arquivo de dados"),
         QStringLiteral("--device PATH --out FILE.dat [--partial] [--dump FILE.img]"),
         {kDevice, opt("out", "Arquivo de dados a gravar.", "FILE.dat"),
          opt("partial", "Em caso de falha, grava as linhas lidas até ali."),
          opt("dump", "Grava também a memória como foi lida (do endereço 0 ao fim do último bloco).", "FILE.img")},
         {}, {QStringLiteral("device"), QStringLiteral("out")}, false, download},
        {QStringLiteral("decode"), QStringLiteral("decodifica uma cópia da memória no arquivo de dados"),
         QStringLiteral("FILE.img --out FILE.dat [--partial]"), {opt("out", "Arquivo de dados a gravar.", "FILE.dat"), kPartial},
         {QStringLiteral("FILE.img")}, {QStringLiteral("out")}, false, decode},
        {QStringLiteral("show"), QStringLiteral("lista os ensaios, ou as linhas de um ensaio"),
         QStringLiteral("FILE.dat [--test N] [--partial]"), {kTest, kPartial}, {QStringLiteral("FILE.dat")}, {}, false, show},
        {QStringLiteral("export"), QStringLiteral("planilha (xls) ou CSV de um ensaio"),
         QStringLiteral("FILE.dat --test N --out FILE [--format xls|csv]"),
         {kTest, kPartial, opt("out", "Arquivo a gravar.", "FILE"), opt("format", "xls (padrão) ou csv.", "FORMAT")},
         {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("out")}, false, exportTest},
        {QStringLiteral("plot"), QStringLiteral("gráfico de um ensaio (PNG)"),
         QStringLiteral("FILE.dat --test N --out FILE.png [--size LxA]"),
         {kTest, kPartial, opt("out", "Imagem a gravar.", "FILE.png"), opt("size", "Tamanho em pixels, LxA.", "LxA")},
         {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("out")}, true, plot},
        {QStringLiteral("calc"), QStringLiteral("avalia um ensaio: elevação corrigida, equivalente energético, poder calorífico"),
         QStringLiteral("FILE.dat --test N [--method regnault-pfaundler|dickinson] [--periods A,B,C,D]\n"
                        "           [--energy-equivalent W --mass M] [--calibrate --mass M --heat Q]\n"
                        "           [--fuse J] [--acid J] [--sulfur J] [--json]"),
         evaluationOptions(), {QStringLiteral("FILE.dat")}, {QStringLiteral("test")}, false, calc},
        {QStringLiteral("report"), QStringLiteral("relatório PDF da avaliação de um ensaio"),
         QStringLiteral("FILE.dat --test N --out FILE.pdf [as opções de calc]"),
         evaluationOptions() << opt("out", "Relatório a gravar.", "FILE.pdf"), {QStringLiteral("FILE.dat")}, {QStringLiteral("test"), QStringLiteral("out")}, true, report},
        {QStringLiteral("record"), QStringLiteral("avalia um ensaio e o registra no banco de resultados"),
         QStringLiteral("FILE.dat --test N --sample CÓDIGO [--description T] [--operator NOME]\n"
                        "           [--calorimeter NOME] [--test-date AAAA-MM-DD] [as opções de calc]\n"
                        "           [--wire-cm L [--wire-j-per-cm J]] [--titration-ml V --normality N]\n"
                        "           [--sulfur-pct S] [--moisture-pct M] [--hydrogen-pct H]\n"
                        "           [--oxygen-nitrogen-pct ON] [--aid-mass G --aid-heat J]\n"
                        "           [--check-standard Q] [--replaces ID --reason TEXTO] [--db LOCAL] [--json]\n"
                        "           (uma amostra sem --energy-equivalent usa o W da série aceita do calorímetro)\n"
                        "       ou FILE.dat --test N --queued CÓDIGO [...]: a amostra pesada da lista do dia"),
         evaluationOptions() << opt("sample", "Código da amostra.", "CÓDIGO")
                             << opt("description", "Descrição da amostra.", "T")
                             << opt("operator", "Operador (padrão: o usuário do sistema).", "NOME")
                             << opt("calorimeter", "Calorímetro (padrão: BC-200).", "NOME")
                             << opt("test-date", "Data do ensaio (padrão: hoje).", "AAAA-MM-DD")
                             << opt("wire-cm", "Fio queimado (cm), no lugar de --fuse.", "L")
                             << opt("wire-j-per-cm", "Calor do fio (J/cm; Ni-Cr 9,6, ferro 11,3).", "J")
                             << opt("titration-ml", "Volume da titulação (mL), no lugar de --acid.", "V")
                             << opt("normality", "Normalidade da solução da titulação (cada mmol conta 4,1868/0,0709 = 59,0522 J).", "N")
                             << opt("sulfur-pct", "Enxofre da amostra (%), no lugar de --sulfur.", "S")
                             << opt("moisture-pct", "Umidade (%): o poder calorífico também em base seca.", "M")
                             << opt("hydrogen-pct", "Hidrogênio (%, base seca): o poder calorífico inferior.", "H")
                             << opt("oxygen-nitrogen-pct", "Oxigênio + nitrogênio (%, base seca).", "ON")
                             << opt("aid-mass", "Massa do auxiliar de combustão (g).", "G")
                             << opt("aid-heat", "Calor de combustão do auxiliar (J/g).", "J")
                             << opt("check-standard", "Padrão de verificação: o valor do certificado (J/g).", "Q")
                             << opt("replaces", "Substitui a determinação ID deste mesmo ensaio (rejeitada com --reason).", "ID")
                             << opt("reason", "Motivo da substituição.", "TEXTO")
                             << opt("queued", "A amostra pesada da lista do dia com este código: massa, tipo, auxiliar, "
                                              "descrição e calorímetro vêm dela.", "CÓDIGO")
                             << opt("queued-id", "A amostra da lista de número N (duas porções com o mesmo código).", "N")
                             << kDb,
         {QStringLiteral("FILE.dat")}, {QStringLiteral("test")}, false, record},
        {QStringLiteral("results"), QStringLiteral("lista, mostra, rejeita ou reimprime determinações; séries de calibração"),
         QStringLiteral("list [--sample CÓDIGO] [--kind sample|calibration] [--calorimeter NOME]\n"
                        "                [--since AAAA-MM-DD] [--unit J/g|MJ/kg|cal/g|Btu/lb] [--json|--csv]\n"
                        "           | show ID [--json] | reject ID --reason TEXTO | report ID --out FILE.pdf\n"
                        "           | history ID [--json] | verify\n"
                        "           | calibrations [--calorimeter NOME] [--rule din|astm|lab [--min-runs N --max-rsd P]] [--json]\n"
                        "           | new-series --calorimeter NOME --reason TEXTO\n"
                        "           | rule --calorimeter NOME --rule din|astm|lab [--min-runs N --max-rsd P]\n"
                        "           | chart --calorimeter NOME --out FILE.png | where [--move]\n"
                        "           | review|approve ID --user NOME [--comment T] [--password-stdin]\n"
                        "           | reject ID --reason TEXTO --user NOME [--password-stdin] (uma aprovada)\n"
                        "           | users add NOME --full-name TEXTO [--reviewer] [--password-stdin]\n"
                        "           | users list | users password NOME [--user QUEM] [--password-stdin]\n"
                        "           | export --approved [--since AAAA-MM-DD] --format senaite-csv|csv|json --out FILE\n"
                        "           | export --pending\n"
                        "           [--db LOCAL]"),
         {kDb, opt("sample", "Só esta amostra.", "CÓDIGO"), opt("kind", "sample ou calibration.", "KIND"),
          opt("calorimeter", "Só este calorímetro.", "NOME"),
          opt("since", "Só ensaios desta data em diante.", "AAAA-MM-DD"),
          opt("unit", "Unidade do poder calorífico: J/g (padrão), MJ/kg, cal/g ou Btu/lb.", "UNIDADE"),
          opt("reason", "Motivo da rejeição ou da nova série.", "TEXTO"),
          opt("out", "Relatório (PDF) ou gráfico de controle (PNG) a gravar.", "FILE"),
          opt("rule", "Regra da série: din (DIN 51900, padrão), astm (ASTM D240) ou lab.", "REGRA"),
          opt("min-runs", "Regra lab: corridas no mínimo (padrão 10).", "N"),
          opt("max-rsd", "Regra lab: desvio padrão relativo máximo, % (padrão 0,1).", "P"),
          opt("json", "Escreve JSON."), opt("csv", "Escreve CSV (\";\", vírgula decimal)."),
          opt("move", "where: move o banco de uma versão anterior para o lugar padrão."),
          opt("user", "Quem assina (review, approve, reject de uma aprovada; users password).", "NOME"),
          opt("comment", "Comentário da assinatura.", "TEXTO"),
          opt("password-stdin", "Lê as senhas da entrada padrão, uma por linha (sem isso, pede no terminal sem mostrar)."),
          opt("full-name", "users add: o nome completo do assinante.", "TEXTO"),
          opt("reviewer", "users add: o assinante é revisor (aprova)."),
          opt("approved", "export: os resultados aprovados."),
          opt("pending", "export: grava na pasta do LIMS (PastaLIMS) os aprovados que ainda não estão lá."),
          opt("format", "export: senaite-csv, csv (padrão) ou json.", "FORMATO")},
         {QStringLiteral("AÇÃO"), QStringLiteral("[ID]"), QStringLiteral("[NOME]")}, {}, false, results},
        {QStringLiteral("follow"), QStringLiteral("acompanha o ensaio que o registrador grava: leituras, fases, alarmes, avaliação"),
         QStringLiteral("--device PATH [--json] [--poll-ms MS]"),
         {kDevice, opt("json", "Um objeto JSON por linha: cada leitura, fase e alarme, e a avaliação no fim."),
          opt("poll-ms", "Intervalo entre as consultas ao registrador (padrão 5000, o ritmo do ensaio).", "MS")},
         {}, {QStringLiteral("device")}, false, follow},
        {QStringLiteral("weigh"), QStringLiteral("lê uma massa estável da balança, em gramas"),
         QStringLiteral("[--device PORTA] [--protocol mt-sics|sbi|ad] [--line \"9600 8N1\"] [--json]\n"
                        "           (padrão: as linhas Balanca, BalancaProtocolo e BalancaLinha de config.xml)"),
         {kBalanceDevice, kBalanceProtocol, kBalanceLine, opt("json", "Escreve JSON.")}, {}, {}, false, weigh},
        {QStringLiteral("samples"), QStringLiteral("a lista de amostras do dia: incluir, pesar, descartar, listar"),
         QStringLiteral("add --code CÓDIGO [--description T] [--kind amostra|calibracao|padrao [--certified Q]]\n"
                        "               [--calorimeter NOME] [--aid-mass G]\n"
                        "           | weigh ID [--device PORTA --protocol P --line L] | weigh ID --mass G --reason TEXTO\n"
                        "           | discard ID --reason TEXTO | list [--day AAAA-MM-DD] [--json]\n"
                        "           [--db LOCAL]"),
         {kDb, kBalanceDevice, kBalanceProtocol, kBalanceLine, opt("code", "Código da amostra (o leitor de código de barras digita aqui).", "CÓDIGO"),
          opt("description", "Descrição da amostra.", "T"),
          opt("kind", "amostra (padrão), calibracao ou padrao (padrão de verificação).", "TIPO"),
          opt("certified", "Calibração: calor de combustão certificado; padrão: valor do certificado (J/g).", "Q"),
          opt("calorimeter", "Calorímetro (padrão: BC-200).", "NOME"),
          opt("aid-mass", "Massa do auxiliar de combustão (g).", "G"),
          opt("mass", "Massa digitada (g), só com --reason: quando a balança não pode ser lida.", "G"),
          opt("reason", "Motivo da massa digitada ou do descarte.", "TEXTO"),
          opt("day", "A lista deste dia (padrão: hoje).", "AAAA-MM-DD"), opt("json", "Escreve JSON.")},
         {QStringLiteral("AÇÃO"), QStringLiteral("[ID]")}, {}, false, samples},
        {QStringLiteral("clear"), QStringLiteral("apaga a memória do registrador"),
         QStringLiteral("--device PATH --yes"), {kDevice, opt("yes", "Confirma o apagamento.")}, {}, {QStringLiteral("device")}, false, clear},
    };
    return table;
}

QString usage() {
    QString u = QStringLiteral("Uso: registrador-cli [--verbose] COMANDO [opções]\n");
    for (const Command& c : commands())
        u += QStringLiteral("  %1 %2\n      %3\n").arg(c.name.leftJustified(8), c.synopsis, c.summary);
    u += QStringLiteral("registrador-cli COMANDO --help mostra as opções de um comando.\n"
                        "Códigos de saída: 0 ok, 1 uso, 2 comunicação, 3 conteúdo da memória, 4 memória vazia,\n"
                        "5 arquivo, 6 cancelado (Ctrl+C durante a leitura), 7 trilha de auditoria violada (results verify),\n"
                        "8 a balança recusou a pesagem (instável, sobrecarga, unidade que não é de massa).\n");
    return u;
}

} // namespace

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    // Everything is written in UTF-8; a Windows console shows it so only when told.
    SetConsoleOutputCP(CP_UTF8);
#endif
    QStringList args;
#ifdef Q_OS_WIN
    // The wide command line: a name outside the ANSI code page reaches the program whole.
    int wideCount = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
        for (int i = 0; i < wideCount; ++i)
            args << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
#else
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
#endif
    // The command is the first argument that is not a global option.
    bool verbose = false;
    QString name;
    QStringList rest{args.value(0)};
    for (int i = 1; i < args.size(); ++i) {
        if (name.isEmpty() && args[i] == QLatin1String("--verbose"))
            verbose = true;
        else if (name.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            name = args[i];
        else if (name.isEmpty() && (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h"))) {
            std::fputs(usage().toUtf8().constData(), stdout);
            return kOk;
        } else if (name.isEmpty() && args[i] == QLatin1String("--version")) {
            std::printf("registrador-cli %s\n", REGISTRADOR_VERSION);
            return kOk;
        } else if (name.isEmpty()) {
            err(ses::msg::CliUnknownOption.arg(args[i]));
            return kUsage;
        } else
            rest << args[i];
    }
    const Command* cmd = nullptr;
    for (const Command& c : commands())
        if (c.name == name)
            cmd = &c;
    if (!cmd) {
        if (!name.isEmpty())
            err(ses::msg::CliUnknownCommand.arg(name));
        std::fputs(usage().toUtf8().constData(), stderr);
        return kUsage;
    }
    std::signal(SIGINT, onInterrupt);
    // What --verbose lets through goes to the standard error, also on Windows (where Qt would
    // send it to the debugger when no console is attached).
    qputenv("QT_FORCE_STDERR_LOGGING", "1");
    // The toolkit's notes on the platform (such as a DPI setting Wine refuses) are not the
    // user's business.
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("registrador.*=true") : QStringLiteral("qt.qpa.*=false"));
    // Pictures need the widget toolkit, but never a display. Windows' own platform needs none and
    // draws text with the system's fonts; its offscreen one may find no font at all.
    std::unique_ptr<QCoreApplication> app;
    // Of the results' actions only the report and the chart draw.
    if (cmd->widgets || (cmd->name == QLatin1String("results") &&
                          (rest.contains(QStringLiteral("report")) || rest.contains(QStringLiteral("chart"))))) {
#ifndef Q_OS_WIN
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        app = std::make_unique<QApplication>(argc, argv);
        // Reports and charts are read as the window's are: with the decimal comma.
        ses::useDecimalComma(true);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("registrador-cli %1").arg(cmd->name));
    QCoreApplication::setApplicationVersion(QStringLiteral(REGISTRADOR_VERSION));
    QLocale::setDefault(QLocale::c());

    QCommandLineParser p;
    p.setApplicationDescription(cmd->summary);
    p.addOptions(cmd->options);
    const QCommandLineOption help = p.addHelpOption();
    for (const QString& a : cmd->positional)
        p.addPositionalArgument(a, QString());
    if (!p.parse(rest)) {
        err(ses::msg::CliCommandError.arg(cmd->name, p.errorText()));
        return kUsage;
    }
    if (p.isSet(help)) {
        std::fputs(p.helpText().toUtf8().constData(), stdout);
        return kOk;
    }
    // "--test 1 --test 2" would silently take one of them.
    QStringList seen;
    for (const QString& o : p.optionNames()) {
        if (seen.contains(o)) {
            err(ses::msg::CliOptionTwice.arg(cmd->name, o));
            return kUsage;
        }
        seen << o;
    }
    const QStringList pos = p.positionalArguments();
    // Names in brackets may be left out.
    const qsizetype needed = std::count_if(cmd->positional.begin(), cmd->positional.end(),
                                           [](const QString& n) { return !n.startsWith(QLatin1Char('[')); });
    if (pos.size() < needed || pos.size() > cmd->positional.size()) {
        if (pos.size() > cmd->positional.size())
            err(ses::msg::CliArgumentTooMany
                    .arg(cmd->name, pos.mid(cmd->positional.size()).join(QLatin1Char(' '))));
        else
            err(ses::msg::CliArgumentMissing.arg(cmd->name, cmd->positional.mid(pos.size()).join(QLatin1Char(' '))));
        err(ses::msg::CliUsage.arg(cmd->name, cmd->synopsis));
        return kUsage;
    }
    for (const QString& o : cmd->required)
        if (!p.isSet(o) || p.value(o).isEmpty()) {
            err(ses::msg::CliOptionMissing.arg(cmd->name, o));
            err(ses::msg::CliUsage.arg(cmd->name, cmd->synopsis));
            return kUsage;
        }
    return cmd->run(*cmd, p);
}

