// registrador-cli: the program's download, data files, spreadsheet and chart without a window.
#include "acquisition/datapacket.h"
#include "acquisition/download.h"
#include "app/exportsettings.h"
#include "app/testchart.h"
#include "app/testview.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "link/qtseriallibrary.h"

#include <QApplication>
#include <QChartView>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

enum Exit { kOk = 0, kUsage = 1, kComm = 2, kContents = 3, kEmpty = 4, kFile = 5 };

void err(const QString& s) { std::fprintf(stderr, "%s\n", s.toLocal8Bit().constData()); }
void out(const QString& s) { std::fprintf(stdout, "%s\n", s.toUtf8().constData()); }

const char* const kUsageText =
    "Uso: registrador-cli COMANDO [opções]\n"
    "  probe    --device PATH                      diagnóstico (0x08) com o registrador\n"
    "  download --device PATH --out FILE.dat [--partial]\n"
    "                                              lê a memória e grava o arquivo de dados\n"
    "  show     FILE.dat [--test N]                lista os ensaios, ou as linhas de um ensaio\n"
    "  export   FILE.dat --test N --out FILE.xls   planilha de um ensaio\n"
    "  plot     FILE.dat --test N --out FILE.png [--size LxA]\n"
    "                                              gráfico de um ensaio\n"
    "  clear    --device PATH --yes                apaga a memória do registrador\n"
    "Códigos de saída: 0 ok, 1 uso, 2 comunicação, 3 conteúdo da memória, 4 memória vazia,\n"
    "5 arquivo.\n";

struct Args {
    QString command;
    QStringList positional;
    QMap<QString, QString> options;
    QSet<QString> flags;
    bool has(const QString& f) const { return flags.contains(f) || options.contains(f); }
};

std::optional<Args> parse(const QStringList& argv) {
    Args a;
    static const QSet<QString> valued{QStringLiteral("--device"), QStringLiteral("--out"),
                                      QStringLiteral("--test"), QStringLiteral("--size")};
    for (int i = 1; i < argv.size(); ++i) {
        const QString& s = argv[i];
        if (valued.contains(s)) {
            if (i + 1 >= argv.size()) {
                err(QStringLiteral("registrador-cli: %1 precisa de um valor").arg(s));
                return std::nullopt;
            }
            a.options[s] = argv[++i];
        } else if (s.startsWith(QLatin1String("--"))) {
            a.flags.insert(s);
        } else if (a.command.isEmpty()) {
            a.command = s;
        } else {
            a.positional << s;
        }
    }
    return a;
}

struct Port {
    lnk::QtSerialLibrary lib;
    lnk::SystemClock clock;
    lnk::SerialChannel ch{lib, clock};
};

// The port at the program's start-up speed, or the communication message naming the device.
std::unique_ptr<Port> openDevice(const QString& device) {
    auto p = std::make_unique<Port>();
    p->lib.portMap().setDevice(0, device);
    p->ch.setPort(0);
    if (!p->ch.openPort(0)) {
        err(QStringLiteral("Erro de comunicação! (%1)").arg(p->lib.lastError()));
        return nullptr;
    }
    p->ch.setBaudRate(0, lnk::SerialChannel::kStartupBaud);
    return p;
}

class CliListener : public acq::DownloadListener {
public:
    void clearTests() override { tests = 0; }
    void testStarted(int) override { ++tests; }
    void progressStart(int maximum, int) override { max_ = std::max(maximum, 1); done_ = 0; draw(); }
    void progressStep() override {
        done_ = std::min(max_, done_ + 64);
        draw();
    }
    void progressEnd() override {
        if (tty_)
            std::fprintf(stderr, "\n");
    }
    int tests = 0;

private:
    void draw() const {
        if (!tty_)
            return;
        const int width = 40, filled = static_cast<int>(static_cast<qint64>(done_) * width / max_);
        std::fprintf(stderr, "\rLendo memória... [%s%s] %3d%%", QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, ' ').constData(), static_cast<int>(static_cast<qint64>(done_) * 100 / max_));
        std::fflush(stderr);
    }
    bool tty_ = ::isatty(2) != 0;
    int max_ = 1, done_ = 0;
};

std::optional<acq::MeasurementTable*> loadFile(const QString& path, acq::MeasurementTable& t) {
    QString why;
    const auto p = acq::loadDatapacket(path, &why);
    if (!p) {
        err(why);
        return std::nullopt;
    }
    if (!t.takePacket(*p, &why)) {
        err(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why));
        return std::nullopt;
    }
    return &t;
}

// The test named by --test, which must be in the file; the error lists those that are.
std::optional<qint64> testOption(const Args& a, acq::MeasurementTable& t, bool required = true) {
    if (!a.options.contains(QStringLiteral("--test"))) {
        if (required)
            err(QStringLiteral("registrador-cli %1: falta --test N").arg(a.command));
        return std::nullopt;
    }
    bool ok = false;
    const qint64 n = a.options[QStringLiteral("--test")].toLongLong(&ok);
    const QList<qint64> tests = t.testNumbers();
    if (!ok || !tests.contains(n)) {
        QStringList names;
        for (qint64 x : tests)
            names << QString::number(x);
        err(QStringLiteral("Ensaio %1 não está no arquivo; ensaios presentes: %2")
                .arg(a.options[QStringLiteral("--test")], names.isEmpty() ? QStringLiteral("nenhum") : names.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    return n;
}

bool outputWritable(const QString& path) {
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (!dir.isDir() || !dir.isWritable()) {
        err(QStringLiteral("%1: a pasta não existe ou não pode ser gravada").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    return true;
}

int probe(const Args& a) {
    auto p = openDevice(a.options.value(QStringLiteral("--device")));
    if (!p)
        return kComm;
    const QByteArray r = p->ch.exchange(lnk::cmd::kDiagnosticsFrame, lnk::cmd::kDownloadProbe);
    out(QString::fromLatin1(r).trimmed());
    if (!lnk::VerifyMessage(r)) {
        err(QStringLiteral("Erro de comunicação!"));
        return kComm;
    }
    return kOk;
}

int download(const Args& a) {
    const QString path = a.options.value(QStringLiteral("--out"));
    if (path.isEmpty()) {
        err(QStringLiteral("registrador-cli download: falta --out FILE.dat"));
        return kUsage;
    }
    if (!outputWritable(path))
        return kFile;
    auto p = openDevice(a.options.value(QStringLiteral("--device")));
    if (!p)
        return kComm;
    acq::MeasurementTable t;
    CliListener l;
    const acq::DownloadResult r = acq::runDownload(p->ch, t, l);
    int code = kOk;
    switch (r) {
    case acq::DownloadResult::Done: break;
    case acq::DownloadResult::CommunicationError: code = kComm; break;
    case acq::DownloadResult::InvalidContents: code = kContents; break;
    case acq::DownloadResult::MemoryEmpty: code = kEmpty; break;
    }
    if (code != kOk)
        err(acq::downloadMessage(r));
    if (code != kOk && !a.has(QStringLiteral("--partial")))
        return code;
    QString why;
    if (!acq::saveTable(t, path, &why)) {
        err(why);
        return kFile;
    }
    t.setFiltered(false);
    err(QStringLiteral("%1 ensaio(s), %2 linha(s) gravadas em %3").arg(l.tests).arg(t.recordCount()).arg(QDir::toNativeSeparators(path)));
    return code;
}

int show(const Args& a) {
    if (a.positional.isEmpty()) {
        err(QStringLiteral("registrador-cli show: falta o arquivo"));
        return kUsage;
    }
    acq::MeasurementTable t;
    if (!loadFile(a.positional[0], t))
        return kFile;
    if (!a.options.contains(QStringLiteral("--test"))) {
        out(QStringLiteral("Ensaio\tLinhas\tMínima\tMáxima"));
        for (qint64 n : t.testNumbers()) {
            const TestView v = selectTest(t, n);
            out(QStringLiteral("%1\t%2\t%3\t%4").arg(n).arg(v.rows).arg(v.minLabel, v.maxLabel));
        }
        return kOk;
    }
    const auto n = testOption(a, t);
    if (!n)
        return kUsage;
    selectTest(t, *n);
    namespace f = acq::field;
    out(QStringLiteral("Registro\tTempo (min)\tTemp. Int. (°C)\tTemp. Ext. (°C)"));
    for (t.first(); !t.eof(); t.next())
        out(QStringList{t.displayText(f::SubReg), t.displayText(f::Tempo), t.displayText(f::Tint), t.displayText(f::Text)}
                .join(QLatin1Char('\t')));
    return kOk;
}

// The data file, the test and the output folder of "export" and "plot"; an exit code when
// one of them is missing or wrong.
std::optional<int> loadTestFor(const Args& a, const QString& path, const char* usage, acq::MeasurementTable& t,
                               qint64& number) {
    if (a.positional.isEmpty() || path.isEmpty()) {
        err(QStringLiteral("registrador-cli %1: %2").arg(a.command, QString::fromLatin1(usage)));
        return kUsage;
    }
    if (!loadFile(a.positional[0], t))
        return kFile;
    const auto n = testOption(a, t);
    if (!n)
        return kUsage;
    if (!outputWritable(path))
        return kFile;
    number = *n;
    return std::nullopt;
}

int exportTest(const Args& a) {
    const QString path = a.options.value(QStringLiteral("--out"));
    acq::MeasurementTable t;
    qint64 n = 0;
    if (const auto code = loadTestFor(a, path, "FILE.dat --test N --out FILE.xls", t, n))
        return *code;
    selectTest(t, n);
    TdtDataSetExport x;
    configureMeasurementExport(x, t);
    x.ExportStyle = xsFile;
    x.FileName = path;
    // The spreadsheet is written under exactly the name asked for (".xls" as typed).
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0)
        x.OnGetExtension = [suffix](QString& ext) { ext = suffix; };
    bool failed = false;
    x.OnError = [&](TdtExportError) { failed = true; };
    x.RunExport();
    if (failed) {
        err(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), x.lastFailure()));
        return kFile;
    }
    return kOk;
}

int plot(const Args& a) {
    const QString path = a.options.value(QStringLiteral("--out"));
    int w = 600, h = 450;
    if (a.options.contains(QStringLiteral("--size"))) {
        const QStringList wh = a.options[QStringLiteral("--size")].split(QLatin1Char('x'));
        bool ok1 = false, ok2 = false;
        if (wh.size() == 2) {
            w = wh[0].toInt(&ok1);
            h = wh[1].toInt(&ok2);
        }
        if (!ok1 || !ok2 || w < 50 || h < 50 || w > 10000 || h > 10000) {
            err(QStringLiteral("--size: use LxA, por exemplo 800x600"));
            return kUsage;
        }
    }
    acq::MeasurementTable t;
    qint64 number = 0;
    if (const auto code = loadTestFor(a, path, "FILE.dat --test N --out FILE.png [--size LxA]", t, number))
        return *code;
    const std::optional<qint64> n = number;
    TestView v = selectTest(t, *n);
    TestChart chart;
    chart.setPoints(std::move(v.interna), std::move(v.externa));
    chart.chart()->setTitle(QStringLiteral("Ensaio %1").arg(*n));
    QChartView view(chart.chart());
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(w, h);
    const QImage img = view.grab().toImage().scaled(w, h);
    const QString tmp = path + QStringLiteral(".tmp");
    if (!img.save(tmp, "PNG") || (QFile::exists(path) && !QFile::remove(path)) || !QFile::rename(tmp, path)) {
        QFile::remove(tmp);
        err(QStringLiteral("%1: não foi possível gravar a imagem").arg(QDir::toNativeSeparators(path)));
        return kFile;
    }
    return kOk;
}

int clear(const Args& a) {
    if (!a.has(QStringLiteral("--yes"))) {
        err(QStringLiteral("registrador-cli clear apaga todos os dados registrados no registrador; "
                           "confirme com --yes."));
        return kUsage;
    }
    auto p = openDevice(a.options.value(QStringLiteral("--device")));
    if (!p)
        return kComm;
    if (!acq::clearMemory(p->ch)) {
        err(QStringLiteral("Erro ao executar operação!"));
        return kComm;
    }
    out(QStringLiteral("Operação executada com sucesso!"));
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    QStringList argl;
    for (int i = 0; i < argc; ++i)
        argl << QString::fromLocal8Bit(argv[i]);
    const auto a = parse(argl);
    if (!a)
        return kUsage;
    if (a->command.isEmpty() || a->has(QStringLiteral("--help")) || a->command == QLatin1String("help")) {
        std::fputs(kUsageText, a->command.isEmpty() && !a->has(QStringLiteral("--help")) ? stderr : stdout);
        return a->command.isEmpty() && !a->has(QStringLiteral("--help")) ? kUsage : kOk;
    }
    // Pictures need the widget toolkit, but never a display.
    std::unique_ptr<QCoreApplication> app;
    if (a->command == QLatin1String("plot")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QLocale::setDefault(QLocale::c());
    const bool needsDevice = a->command == QLatin1String("probe") || a->command == QLatin1String("download") ||
                             a->command == QLatin1String("clear");
    if (needsDevice && !a->options.contains(QStringLiteral("--device"))) {
        err(QStringLiteral("registrador-cli %1: falta --device PATH").arg(a->command));
        return kUsage;
    }
    if (a->command == QLatin1String("probe")) return probe(*a);
    if (a->command == QLatin1String("download")) return download(*a);
    if (a->command == QLatin1String("show")) return show(*a);
    if (a->command == QLatin1String("export")) return exportTest(*a);
    if (a->command == QLatin1String("plot")) return plot(*a);
    if (a->command == QLatin1String("clear")) return clear(*a);
    err(QStringLiteral("registrador-cli: comando desconhecido \"%1\"").arg(a->command));
    std::fputs(kUsageText, stderr);
    return kUsage;
}
