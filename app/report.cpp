#include "app/report.h"

#include "app/reportfont.h"
#include "session/measured.h"

#include <QJsonDocument>

#include "acquisition/wholefile.h"
#include "app/evaluationchart.h"
#include "session/calibrationseries.h"
#include "session/messages.h"
#include "session/recording.h"
#include "session/testevaluation.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <functional>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

namespace {

struct Row { qint64 sub; double tempo, tint, text; };

QList<Row> readingsOf(const acq::Measurements& data, const acq::TestRun& test) {
    QList<Row> out;
    for (const int i : data.inOrder(test)) {
        const acq::Row& r = data.rows()[static_cast<size_t>(i)];
        out << Row{r.subReg, r.tempo, r.tint, r.text};
    }
    return out;
}

// Lays text out top to bottom on A4 pages, starting a new page when one is full; every page
// gets its footer (the test, the data file, "Página k de n").
class Pages {
public:
    using Footer = std::function<void(QPainter&, const QRectF& area, int page)>;
    Pages(QPdfWriter& w, QPainter& p, int& pageNumber, Footer footer)
        : w_(w), p_(p), number_(pageNumber), footer_(std::move(footer)) {
        const QRect r = p.viewport();
        margin_ = r.width() / 14;
        page_ = QRectF(margin_, margin_, r.width() - 2 * margin_, r.height() - 2.6 * margin_);
        footerArea_ = QRectF(margin_, r.height() - 1.4 * margin_, r.width() - 2 * margin_, 0.8 * margin_);
        y_ = page_.top();
        footer_(p_, footerArea_, ++number_);
    }
    QRectF page() const { return page_; }
    double y() const { return y_; }
    void skip(double h) { y_ += h; }
    void newPage() {
        w_.newPage();
        y_ = page_.top();
        footer_(p_, footerArea_, ++number_);
    }
    void need(double h) {
        if (y_ + h > page_.bottom())
            newPage();
    }
    // The page break first: a new page's footer sets its own font.
    void line(const QString& text, const QFont& f, Qt::Alignment a = Qt::AlignLeft) {
        const double h = QFontMetricsF(f, p_.device()).height();
        need(h);
        p_.setFont(f);
        p_.drawText(QRectF(page_.left(), y_, page_.width(), h), a | Qt::AlignVCenter, text);
        y_ += h;
    }
    // Columns at the given fractions of the width.
    void columns(const QStringList& cells, const QList<double>& at, const QFont& f, bool rightAligned = false) {
        const double h = QFontMetricsF(f, p_.device()).height() * 1.15;
        need(h);
        p_.setFont(f);
        for (int i = 0; i < cells.size(); ++i) {
            const double x0 = page_.left() + at[i] * page_.width();
            const double x1 = page_.left() + (i + 1 < at.size() ? at[i + 1] : 1.0) * page_.width();
            p_.drawText(QRectF(x0, y_, x1 - x0 - 20, h),
                        (rightAligned && i > 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, cells[i]);
        }
        y_ += h;
    }

private:
    QPdfWriter& w_;
    QPainter& p_;
    int& number_;
    Footer footer_;
    double margin_;
    QRectF page_;
    QRectF footerArea_;
    double y_;
};

// The whole report on `w`, its footers saying "of `total`"; the number of pages it took.
int render(QPdfWriter& w, const acq::Measurements& table, const ReportRequest& req, int total, QString* error) {
    w.setPageSize(QPageSize(QPageSize::A4));
    w.setResolution(300);
    w.setTitle(QStringLiteral("Avaliação do %1").arg(req.test.caption()));
    w.setCreator(QStringLiteral("Registrador"));
    QPainter p(&w);
    if (!p.isActive()) {
        if (error)
            *error = ses::msg::ReportNotCreated;
        return -1;
    }
    QFont title = reportFont(16, true);
    QFont head = reportFont(11, true);
    QFont body = reportFont(10);
    QFont small = reportFont(8);
    const QString file = req.dataFile.isEmpty() ? QStringLiteral("(dados não salvos)") : QDir::toNativeSeparators(req.dataFile);
    int pages = 0;
    // A page that is separated from the others still says what it belongs to.
    auto footer = [&](QPainter& painter, const QRectF& area, int page) {
        painter.setFont(small);
        painter.drawLine(area.topLeft(), area.topRight());
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1 — %2").arg(req.test.caption(), QFileInfo(file).fileName()));
        painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Página %1 de %2").arg(page).arg(total));
    };
    Pages pg(w, p, pages, footer);

    const QList<double> cols{0.0, 0.5, 0.75};
    if (const auto& d = req.record) {
        pg.line(QStringLiteral("Bomba Calorimétrica - Determinação nº %1").arg(d->id), title);
        pg.skip(20);
        const bool calibration = d->kind == rec::Determination::Kind::Calibration;
        const QList<double> idCols{0.0, 0.3};
        auto pair = [&](const QString& label, const QString& value) { pg.columns({label, value}, idCols, body); };
        pair(QStringLiteral("Amostra:"), d->sampleCode + (calibration ? QStringLiteral(" (calibração)") : QString()));
        if (!d->description.isEmpty())
            pair(QStringLiteral("Descrição:"), d->description);
        pair(QStringLiteral("Operador:"), d->operatorName);
        pair(QStringLiteral("Calorímetro:"), d->calorimeter);
        pair(QStringLiteral("Data do ensaio:"), d->testDate.toString(QStringLiteral("dd/MM/yyyy")));
        pair(QStringLiteral("Registrada em:"),
             d->recordedUtc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy hh:mm")));
        pair(QStringLiteral("Ensaio:"), QStringLiteral("%1 do arquivo %2").arg(req.test.caption(), file));
        if (!d->massSource.isEmpty())
            pair(QStringLiteral("Massa:"), QStringLiteral("%1 g (%2)").arg(ses::fixed(d->calorimetry.mass, 5), d->massSource));
        if (!calibration && d->result.energyEquivalent)
            pair(QStringLiteral("Equivalente energético:"),
                 QStringLiteral("%1 J/K (%2)")
                     .arg(ses::fixed(*d->result.energyEquivalent, 1),
                          d->energyEquivalentSource.isEmpty() ? QStringLiteral("origem não registrada") : d->energyEquivalentSource));
        if (calibration && d->series)
            pair(QStringLiteral("Série de calibração:"), QString::number(d->series));
        if (!d->seriesChanged.isEmpty())
            pair(QStringLiteral("Série mudou:"), d->seriesChanged);
        if (d->replaces)
            pair(QStringLiteral("Substitui:"), QStringLiteral("determinação %1").arg(d->replaces));
        if (const auto dev = ses::checkStandardDeviation(*d)) {
            const double tolerance = d->checkTolerancePercent.value_or(0.2);
            pair(QStringLiteral("Padrão de verificação:"),
                 QStringLiteral("certificado %1 J/g, desvio %2 %").arg(ses::fixed(*d->checkCertified, 1), ses::fixed(*dev, 3)));
            pair(QStringLiteral("Tolerância:"), QStringLiteral("±%1 %: %2").arg(ses::fixed(tolerance, 2),
                                                                                std::abs(*dev) > tolerance ? ses::msg::CheckOutside
                                                                                                           : ses::msg::CheckWithin));
        }
        if (!req.duplicates.isEmpty())
            pair(QStringLiteral("Duplicatas:"), req.duplicates);
        if (d->rejected())
            pair(QStringLiteral("Situação:"), ses::msg::Rejected.arg(d->rejectedReason));
        pair(QStringLiteral("Data do relatório:"), req.when.toString(QStringLiteral("dd/MM/yyyy hh:mm")));
        pg.skip(30);
    } else {
        pg.line(QStringLiteral("Bomba Calorimétrica - Avaliação do %1").arg(req.test.caption()), title);
        pg.skip(20);
        pg.line(QStringLiteral("Arquivo de dados: %1").arg(file), body);
        pg.line(QStringLiteral("Data do relatório: %1").arg(req.when.toString(QStringLiteral("dd/MM/yyyy hh:mm"))), body);
        pg.skip(30);
    }

    const auto samples = ses::testSamples(table, req.test);
    const QRectF chartArea(pg.page().left(), pg.y(), pg.page().width(), pg.page().width() * 0.55);
    p.setFont(small);
    EvaluationChart chart(samples, req.result.periods, &req.result);
    chart.paint(p, chartArea);
    pg.skip(chartArea.height() + 40);

    auto table2 = [&](const QString& heading, const QList<ses::ResultLine>& lines) {
        pg.need(200);
        pg.line(heading, head);
        pg.skip(10);
        for (const ses::ResultLine& l : lines)
            pg.columns({l.label, l.value, l.unit}, cols, body);
        pg.skip(30);
    };
    table2(QStringLiteral("Resultado (%1)").arg(ses::methodName(req.result.method)), ses::resultLines(req.result));
    auto inputs = ses::inputLines(req.calorimetry, req.result);
    if (req.record && req.record->moisture)
        inputs << ses::ResultLine{QStringLiteral("Umidade"), ses::fixed(*req.record->moisture, 2), QStringLiteral("%")}
               << ses::ResultLine{QStringLiteral("PCS base seca"),
                                  req.result.grossCalorificValue
                                      ? ses::fixed(eval::dryBasis(*req.result.grossCalorificValue, *req.record->moisture), 1)
                                      : QString(),
                                  QStringLiteral("J/g")};
    if (req.record && req.record->netCalorificValue)
        inputs << ses::ResultLine{QStringLiteral("Hidrogênio (base seca)"), ses::fixed(req.record->hydrogenDry.value_or(0), 2), QStringLiteral("%")}
               << ses::ResultLine{QStringLiteral("Oxigênio + nitrogênio (base seca)"),
                                  ses::fixed(req.record->oxygenNitrogenDry.value_or(0), 2), QStringLiteral("%")}
               << ses::ResultLine{QStringLiteral("Poder calorífico inferior"), ses::fixed(*req.record->netCalorificValue, 1),
                                  QStringLiteral("J/g")};
    if (!inputs.isEmpty())
        table2(QStringLiteral("Dados calorimétricos"), inputs);
    QList<ses::ResultLine> measured;
    for (const auto& [label, value, unit] : ses::measuredLines(req.given))
        measured << ses::ResultLine{label, value, unit};
    if (!measured.isEmpty())
        table2(QStringLiteral("Medidas do laboratório"), measured);

    const QStringList warnings = ses::resultWarnings(req.result);
    if (!warnings.isEmpty()) {
        pg.need(200);
        pg.line(QStringLiteral("Avisos"), head);
        pg.skip(10);
        for (const QString& text : warnings)
            pg.line(text, body);
    }

    if (req.record && !req.record->signatures.isEmpty()) {
        // Its electronic signatures, each with the signer's name, the time and what it means.
        pg.need(200 + 160 * req.record->signatures.size());
        pg.skip(60);
        pg.line(QStringLiteral("Assinaturas eletrônicas"), head);
        pg.skip(10);
        const QList<double> cols{0.0, 0.22, 0.62};
        for (const rec::Signature& sig : req.record->signatures) {
            pg.columns({rec::meaningText(sig.meaning), QStringLiteral("%1 (%2)").arg(sig.fullName, sig.user),
                        sig.signedUtc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))},
                       cols, body);
            if (!sig.comment.isEmpty())
                pg.columns({QString(), QStringLiteral("Comentário: %1").arg(sig.comment)}, {0.0, 0.22}, body);
        }
    } else if (req.record) {
        // Signed on paper by who made the determination and who checked it.
        pg.need(500);
        pg.skip(120);
        const QList<double> sign{0.0, 0.55};
        pg.columns({QStringLiteral("______________________________"), QStringLiteral("______________________________")}, sign, body);
        pg.columns({QStringLiteral("Analista"), QStringLiteral("Revisor")}, sign, body);
        pg.columns({QStringLiteral("Data: ____/____/______"), QStringLiteral("Data: ____/____/______")}, sign, body);
    }

    // The appendix starts on a page of its own.
    pg.newPage();
    Pages& ap = pg;
    ap.line(QStringLiteral("Anexo: leituras do %1").arg(req.test.caption()), head);
    ap.skip(10);
    const QList<double> rc{0.0, 0.25, 0.5, 0.75};
    const QStringList caption{QStringLiteral("Registro"), QStringLiteral("Tempo (min)"), QStringLiteral("Temp. Int. (°C)"),
                              QStringLiteral("Temp. Ext. (°C)")};
    ap.columns(caption, rc, head);
    for (const Row& r : readingsOf(table, req.test)) {
        if (ap.y() + 80 > ap.page().bottom()) {
            ap.need(1e9); // next page, with the caption again
            ap.columns(caption, rc, head);
        }
        ap.columns({QString::number(r.sub), ses::fixed(r.tempo, 2), ses::fixed(r.tint, 3), ses::fixed(r.text, 3)}, rc, small);
    }
    p.end();
    return pages;
}

} // namespace

bool writeReport(const acq::Measurements& table, const ReportRequest& req, const QString& path, QString* error) {
    // Laid out once to count the pages, then for real with "Página k de n".
    int total = 0;
    {
        QBuffer scratch;
        scratch.open(QIODevice::WriteOnly);
        QPdfWriter w(&scratch);
        total = render(w, table, req, 0, error);
        if (total < 0)
            return false;
    }
    QByteArray pdf;
    {
        QBuffer buf(&pdf);
        buf.open(QIODevice::WriteOnly);
        QPdfWriter w(&buf);
        if (render(w, table, req, total, error) < 0)
            return false;
    }
    return acq::writeWholeFile(path, pdf, error);
}

bool writeRecordReport(const rec::Determination& d, const QString& duplicates, const QString& path, QString* error) {
    ReportRequest req;
    const acq::Measurements m = ses::measurementsOf(d, &req.test);
    req.dataFile = d.dataFile;
    req.result = d.result;
    req.calorimetry = d.calorimetry;
    req.given = QJsonDocument::fromJson(d.inputsGiven.toUtf8()).object();
    req.record = d;
    req.duplicates = duplicates;
    return writeReport(m, req, path, error);
}

QString sampleMassText(const rec::QueuedSample& s) { return s.mass ? ses::fixed(*s.mass, 5) : QString(); }

QString sampleStateText(const rec::QueuedSample& s) {
    QString t = rec::stateText(s.state);
    if (s.determination)
        t += QStringLiteral(" (determinação %1)").arg(s.determination);
    if (!s.discardedReason.isEmpty())
        t += QStringLiteral(": ") + s.discardedReason;
    return t;
}

bool writeSamplesList(const QList<rec::QueuedSample>& list, const QDate& day, const QString& path, QString* error) {
    QByteArray pdf;
    {
        QBuffer buf(&pdf);
        buf.open(QIODevice::WriteOnly);
        QPdfWriter w(&buf);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageOrientation(QPageLayout::Landscape);
        w.setResolution(300);
        const QString title = QStringLiteral("Amostras do dia %1").arg(day.toString(QStringLiteral("dd/MM/yyyy")));
        w.setTitle(title);
        QPainter p;
        if (!p.begin(&w)) {
            if (error)
                *error = QStringLiteral("Não foi possível escrever o PDF.");
            return false;
        }
        const QFont body = reportFont(8), bold = reportFont(8, true), heading = reportFont(13, true);
        const QString printed = QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"));
        int page = 0;
        Pages pg(w, p, page, [&](QPainter& painter, const QRectF& area, int n) {
            painter.setFont(reportFont(7));
            painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("%1 — impressa em %2").arg(title, printed));
            painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Página %1").arg(n));
        });
        pg.line(title, heading);
        pg.skip(30);
        const QList<double> cols{0.0, 0.04, 0.15, 0.30, 0.38, 0.45, 0.52, 0.80};
        pg.columns({QStringLiteral("Nº"), QStringLiteral("Código"), QStringLiteral("Descrição"), QStringLiteral("Tipo"),
                    QStringLiteral("Calorímetro"), QStringLiteral("Massa (g)"), QStringLiteral("Origem da massa"),
                    QStringLiteral("Situação")},
                   cols, bold);
        for (const rec::QueuedSample& s : list)
            pg.columns({QString::number(s.id), s.code, s.description, rec::kindText(s.kind), s.calorimeter, sampleMassText(s),
                        s.massSource, sampleStateText(s)},
                       cols, body);
        if (list.isEmpty())
            pg.line(QStringLiteral("Nenhuma amostra na lista."), body);
        p.end();
    }
    return acq::writeWholeFile(path, pdf, error);
}
