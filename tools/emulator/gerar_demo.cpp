// Writes the memory images of data/: registrador-gerar-demo DIR
#include "tools/emulator/demoimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <cstdio>

static bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(f.errorString()));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QDir d(dir);
    const bool ok = writeFile(d.filePath(QStringLiteral("demo.img")), emu::demoImage()) &&
                    writeFile(d.filePath(QStringLiteral("semana.img")), emu::labWeekImage()) &&
                    writeFile(d.filePath(QStringLiteral("exemplo.img")), emu::workedExampleImage());
    return ok ? 0 : 1;
}
