// registrador-emulador-balanca: a lab balance on a pseudo-terminal, for demos and end-to-end
// tests. Each line of its standard input changes the balance: a new weight, instability,
// overload, silence.
#include "tools/emulator/balancemodel.h"
#include "tools/emulator/pty.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};
void onSignal(int) { stopRequested = true; }

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "registrador-emulador-balanca: %s\n", why.toUtf8().constData());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("registrador-emulador-balanca"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Emula uma balança de laboratório num pseudo-terminal. Escreve o caminho do terminal na primeira linha "
        "da saída e responde até ser parada. Cada linha da entrada padrão muda a balança: um peso (0.81234, "
        "812.3 mg), instavel N, sobrecarga, subcarga, silencio, lixo, normal; cada linha tomada é respondida "
        "na saída com \"ok\" (ou \"erro\")."));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("protocol"), QStringLiteral("mt-sics (padrão), sbi ou ad."), QStringLiteral("PROTOCOLO")},
        {QStringLiteral("weight"), QStringLiteral("Peso no prato, em gramas (padrão 0.81234)."), QStringLiteral("G")},
        {QStringLiteral("unit"), QStringLiteral("Unidade em que a balança pesa: g (padrão), mg, kg ou PCS."), QStringLiteral("U")},
        {QStringLiteral("unstable"), QStringLiteral("Leituras instáveis antes de cada peso estabilizar."), QStringLiteral("N")},
        {QStringLiteral("overload"), QStringLiteral("Sobrecarga.")},
        {QStringLiteral("underload"), QStringLiteral("Peso abaixo do mínimo.")},
        {QStringLiteral("silent"), QStringLiteral("Nunca responde.")},
        {QStringLiteral("garbage"), QStringLiteral("Responde com lixo.")},
        {QStringLiteral("sbi-long"), QStringLiteral("SBI: linhas de 22 caracteres, com identificador.")},
        {QStringLiteral("require-baud"), QStringLiteral("Só responde nesta velocidade (ex.: 2400)."), QStringLiteral("BAUD")},
        {QStringLiteral("serial"), QStringLiteral("Número de série (MT-SICS I4)."), QStringLiteral("S")},
        {QStringLiteral("link"), QStringLiteral("Também faz de PATH um link simbólico para o terminal."), QStringLiteral("PATH")},
        {QStringLiteral("log"), QStringLiteral("Mostra cada pedido e resposta na saída de erro.")},
    });
    p.process(app);

    const auto protocol = lnk::balance::protocolNamed(p.value(QStringLiteral("protocol")).isEmpty()
                                                          ? QStringLiteral("mt-sics")
                                                          : p.value(QStringLiteral("protocol")));
    if (!protocol)
        fail(QStringLiteral("--protocol: mt-sics, sbi ou ad"));
    emu::BalanceModel model(*protocol);
    if (p.isSet(QStringLiteral("unit")))
        model.unit = p.value(QStringLiteral("unit"));
    if (p.isSet(QStringLiteral("unstable"))) {
        bool ok = false;
        model.unstableFirst = p.value(QStringLiteral("unstable")).toInt(&ok);
        if (!ok || model.unstableFirst < 0)
            fail(QStringLiteral("--unstable: um número inteiro"));
    }
    double grams = model.grams;
    if (p.isSet(QStringLiteral("weight"))) {
        bool ok = false;
        grams = p.value(QStringLiteral("weight")).toDouble(&ok);
        if (!ok)
            fail(QStringLiteral("--weight: um número em gramas"));
    }
    model.place(grams);
    if (p.isSet(QStringLiteral("serial")))
        model.serial = p.value(QStringLiteral("serial"));
    model.sbiLong = p.isSet(QStringLiteral("sbi-long"));
    model.fault = p.isSet(QStringLiteral("overload"))    ? emu::BalanceModel::Fault::Overload
                  : p.isSet(QStringLiteral("underload")) ? emu::BalanceModel::Fault::Underload
                  : p.isSet(QStringLiteral("silent"))    ? emu::BalanceModel::Fault::Silent
                  : p.isSet(QStringLiteral("garbage"))   ? emu::BalanceModel::Fault::Garbage
                                                         : emu::BalanceModel::Fault::None;
    if (p.isSet(QStringLiteral("require-baud"))) {
        bool ok = false;
        model.requiredBaud = p.value(QStringLiteral("require-baud")).toInt(&ok);
        if (!ok || model.requiredBaud <= 0)
            fail(QStringLiteral("--require-baud: uma velocidade, como 9600"));
    }
    const bool log = p.isSet(QStringLiteral("log"));

    emu::Pty pty;
    if (!pty.open())
        fail(QStringLiteral("não foi possível abrir um pseudo-terminal: %1").arg(pty.error()));
    const QByteArray linkPath = p.value(QStringLiteral("link")).toLocal8Bit();
    if (!linkPath.isEmpty()) {
        ::unlink(linkPath.constData());
        if (::symlink(pty.slavePath().toLocal8Bit().constData(), linkPath.constData()) != 0)
            fail(QStringLiteral("%1: não foi possível criar o link").arg(QString::fromLocal8Bit(linkPath)));
    }
    std::printf("%s\n", qPrintable(pty.slavePath()));
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    QByteArray pending, typed;
    bool stdinOpen = true;
    while (!stopRequested) {
        pending += pty.read(50);
        // The standard input's commands, a line at a time, without blocking the balance.
        pollfd in{0, POLLIN, 0};
        if (stdinOpen && ::poll(&in, 1, 0) > 0) {
            char buf[256];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0)
                stdinOpen = false;
            else
                typed += QByteArray(buf, int(n));
            for (int nl; (nl = int(typed.indexOf('\n'))) >= 0;) {
                QString why;
                // Each command answered on the standard output once taken, for whoever drives it.
                if (model.command(QString::fromUtf8(typed.left(nl)), &why)) {
                    std::printf("ok\n");
                } else {
                    std::printf("erro\n");
                    std::fprintf(stderr, "registrador-emulador-balanca: %s\n", why.toUtf8().constData());
                }
                std::fflush(stdout);
                typed.remove(0, nl + 1);
            }
        }
        for (int nl; (nl = int(pending.indexOf('\n'))) >= 0;) {
            const QByteArray request = pending.left(nl + 1);
            pending.remove(0, nl + 1);
            const QByteArray answer = model.respond(request, pty.lineBaud());
            if (log)
                std::fprintf(stderr, "<- %s-> %s\n", request.trimmed().toPercentEncoding(" ").constData(),
                             answer.isEmpty() ? "(silêncio)" : answer.trimmed().constData());
            if (!answer.isEmpty())
                pty.writePaced(answer);
        }
        if (pending.size() > 4096)
            pending.clear();
    }
    if (!linkPath.isEmpty())
        ::unlink(linkPath.constData());
    return 0;
}
