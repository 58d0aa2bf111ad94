#include "tests/support.h"

#include <QThread>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "acquisition/datapacket.h"
#include "acquisition/memorydecoder.h"
#include "app/tablemodel.h"
#include "app/tform1.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>

void ScriptedMessages::showDetailed(MsgKind kind, const QString& text, const QString& detail) {
    show(kind, text);
    shown.last().detail = detail;
}

MsgAnswer ScriptedMessages::ask(MsgKind kind, const QString& text, MsgButtons buttons) {
    shown << ShownMessage{kind, text, buttons, autoClose(), false, {}};
    if (answers.empty())
        return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? MsgAnswer::Ok : MsgAnswer::Yes;
    const MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
}

MsgAnswer ScriptedMessages::askDestructive(MsgKind kind, const QString& text, MsgButtons buttons) {
    const MsgAnswer a = ask(kind, text, buttons);
    shown.back().safeDefault = true;
    return a;
}

void ScriptedMessages::plain(const QString& text) {
    shown << ShownMessage{MsgKind::Information, text, MsgButtons::Ok, autoClose(), false, {}};
}

QStringList ScriptedMessages::texts() const {
    QStringList out;
    for (const auto& m : shown)
        out << m.text;
    return out;
}

QString ScriptedFiles::openFile(const FileDialogSpec& opts) {
    asked << opts;
    if (paths.empty())
        return {};
    QString p = paths.front();
    paths.pop_front();
    return p;
}

QString ScriptedFiles::saveFile(const FileDialogSpec& opts) { return openFile(opts); }

QList<std::pair<QString, QString>> builtInConfigRows() {
    return {{"ComPort", "1"}, {"IntAq", "25"}, {"Coef1", "1"}, {"Coef2", "1"},
            {"Desl1", "0"},   {"Desl2", "0"},  {"Debug", "0"}};
}

void writeConfig(const QString& dir, const QList<std::pair<QString, QString>>& rows) {
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
        "<METADATA><FIELDS><FIELD attrname=\"Key\" fieldtype=\"string\" required=\"true\" WIDTH=\"32\"/>"
        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"32\"/></FIELDS><PARAMS/></METADATA><ROWDATA>");
    for (const auto& [k, v] : rows)
        xml += QStringLiteral("<ROW Key=\"%1\" Value=\"%2\"/>").arg(k.toHtmlEscaped(), v.toHtmlEscaped());
    xml += QStringLiteral("</ROWDATA></DATAPACKET>");
    QFile f(QDir(dir).filePath(QStringLiteral("config.xml")));
    f.open(QIODevice::WriteOnly);
    f.write(xml.toUtf8());
}

QByteArray readAllOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString dataFile(const QString& name) { return QStringLiteral(REGISTRADOR_DATA_DIR "/") + name; }
QString binFile(const QString& name) {
#ifdef Q_OS_WIN
    return QStringLiteral(REGISTRADOR_BIN_DIR "/") + name + QStringLiteral(".exe");
#else
    return QStringLiteral(REGISTRADOR_BIN_DIR "/") + name;
#endif
}

QStringList notRegularFiles(const QString& dir) {
#ifdef Q_OS_WIN
    const QString folder = QDir(dir).filePath(QStringLiteral("pasta.dat"));
    QDir().mkpath(folder);
    return {QStringLiteral("NUL"), QStringLiteral("C:/nul.dat"), QStringLiteral("COM1"), folder};
#else
    const QString fifo = QDir(dir).filePath(QStringLiteral("fifo"));
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    return {QStringLiteral("/dev/zero"), fifo};
#endif
}

QString missingDevice() {
#ifdef Q_OS_WIN
    return QStringLiteral("COM97");
#else
    return QStringLiteral("/dev/nonexistent");
#endif
}

Emulator::Emulator(const QString& image, const QStringList& extraArgs) {
    start(QStringLiteral("registrador-emulador"), QStringList{QStringLiteral("--image"), image} + extraArgs);
}

Emulator::Emulator(Balance, const QStringList& args) { start(QStringLiteral("registrador-emulador-balanca"), args); }

void Emulator::tell(const QByteArray& line) {
    proc_.write(line + '\n');
    proc_.waitForBytesWritten(5000);
    // The balance says when it has taken the line: no request goes before it.
    while (!proc_.canReadLine() && proc_.waitForReadyRead(10000)) {
    }
    proc_.readLine();
}

void Emulator::start(const QString& program, const QStringList& args) {
    proc_.setProgram(binFile(program));
    proc_.setArguments(args);
    proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc_.start();
    if (!proc_.waitForStarted(5000))
        return;
    while (!proc_.canReadLine() && proc_.waitForReadyRead(5000)) {
    }
    device_ = QString::fromLocal8Bit(proc_.readLine()).trimmed();
}

Emulator::~Emulator() {
    proc_.terminate();
    if (!proc_.waitForFinished(3000))
        proc_.kill();
    proc_.waitForFinished(1000);
}

bool ScriptedExportUi::choose(TdtCustomExport& c) {
    s_->events << QStringLiteral("chooser");
    if (s_->style)
        c.ExportStyle = *s_->style;
    return s_->confirm;
}

std::optional<QByteArray> runPython(const QString& script, const QStringList& args, int* exitCode) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(60000))
        return std::nullopt;
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

int ScriptedDialogs::exec(QDialog& d) {
    shown << d.windowTitle();
    return play ? play(d) : int(QDialog::Accepted);
}

MainWindowRig::MainWindowRig()
    : model(std::make_unique<emu::LoggerModel>(emu::workedExampleImage())),
      serial(std::make_unique<emu::FakeSerialLibrary>(model.get())) {
    writeConfig(dir.path(), builtInConfigRows());
    start();
}

MainWindowRig::~MainWindowRig() { form.reset(); }

void MainWindowRig::start() {
    form.reset();
    dialogs.play = [this](QDialog& d) {
        dialogsShown << d.windowTitle();
        return onDialog ? onDialog(d) : int(QDialog::Accepted);
    };
    Services s{*serial, clock, messages, files, viewer, dialogs, ports, dir.path(), exportWindows};
    form = std::make_unique<TForm1>(s);
    form->dtDataSetExport1.setTempDir(dir.path());
}

QStringList MainWindowRig::tests() const {
    QStringList out;
    for (int i = 0; i < form->ComboBox1->count(); ++i)
        out << form->ComboBox1->itemText(i);
    return out;
}

QStringList MainWindowRig::gridRow(int r) const {
    QStringList out;
    auto* m = form->gridModel();
    for (int c = 0; c < m->columnCount(); ++c)
        out << m->data(m->index(r, c), Qt::DisplayRole).toString();
    return out;
}

void fillMeasurements(acq::Measurements& m, int n) {
    m.startTest(1);
    for (int i = 1; i <= n; ++i) {
        acq::Row r;
        r.ensaio = 1;
        r.subReg = i;
        r.tempo = acq::sampleMinutes(i);
        r.tint = 22.0 + i * 0.0001;
        r.text = 21.5;
        const int at = m.addSample(r);
        if (i == 1)
            m.setExtremes(at, 24.0, 22.0);
    }
}

acq::DownloadResult downloadInto(lnk::SerialChannel& channel, acq::Measurements& data, acq::DownloadListener& l) {
    const acq::MemoryRead m = acq::readMemory(channel, l);
    if (!m.bytes.isEmpty() && m.result != acq::DownloadResult::InvalidContents)
        data = acq::decodeMemory(m.bytes).data;
    return m.result;
}

QStringList testNumbers(const acq::Measurements& m) {
    QStringList out;
    for (const acq::TestRun& t : m.tests())
        out << QString::number(t.number);
    return out;
}

QString distinctTestsFile(const QString& dir, int n, int only) {
    const acq::Records demo = acq::decodeMemory(emu::demoImage()).data.toRecords();
    acq::Records out(demo.fields);
    // Fields by position: Reg, Ensaio, SubReg, Tempo, Tint, Text, TMax, TMin.
    for (int k = 1; k <= n; ++k)
        for (qsizetype i = 0; i < demo.rowCount(); ++i) {
            QList<QVariant> row = demo.row(i);
            if (row[1].toInt() != (only ? only : (k - 1) % 3 + 1))
                continue;
            row[0] = static_cast<int>(out.rowCount() + 1);
            row[1] = k;
            row[5] = row[5].toDouble() + k / 1000.0;
            out.appendRow(row);
        }
    out.autoIncValue = out.rowCount() + 1;
    const QString path = QDir(dir).filePath(QStringLiteral("ensaios-%1-%2.dat").arg(n).arg(only));
    QString why;
    if (!acq::saveDatapacket(out, path, &why))
        ADD_FAILURE() << why.toStdString();
    return path;
}
