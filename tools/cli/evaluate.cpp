// A test evaluated: calc, and its PDF report.
#include "tools/cli/cli.h"

namespace cli {

int calc(const Command&, QCommandLineParser& p) {
    Cli c;
    acq::TestRun n;
    ses::EvaluationRequest req;
    eval::Result r;
    if (const auto code = evaluateFor(p, c, n, req, r))
        return *code;
    if (isSet(p, "json"))
        std::fputs(QJsonDocument(ses::resultJson(n, r)).toJson(QJsonDocument::Indented).constData(), stdout);
    else
        std::fputs(ses::resultText(n, r, req.calorimetry).toUtf8().constData(), stdout);
    return kOk;
}

int report(const Command&, QCommandLineParser& p) {
    const QString path = value(p, "out");
    if (!outputUsable(path, {p.positionalArguments().value(0)}))
        return kUsage;
    if (!outputWritable(path))
        return kFile;
    Cli c;
    acq::TestRun n;
    ses::EvaluationRequest req;
    eval::Result r;
    if (const auto code = evaluateFor(p, c, n, req, r))
        return *code;
    ReportRequest rr;
    rr.test = n;
    rr.dataFile = QFileInfo(p.positionalArguments().value(0)).absoluteFilePath();
    rr.result = r;
    rr.calorimetry = req.calorimetry;
    rr.given = req.given;
    QString why;
    if (!writeReport(c.session.data(), rr, path, &why)) {
        err(why);
        return kFile;
    }
    return kOk;
}


} // namespace cli
