// weigh and samples: the balance read once, and the day's list of samples weighed before their
// tests, which record --queued takes from.
#include "tools/cli/cli.h"

#include "session/settings.h"

namespace cli {

namespace {

struct BalanceChoice {
    QString device;
    lnk::balance::Protocol protocol;
    lnk::balance::LineSettings line;
};

// The balance by the options, or by config.xml's rows; nothing after the message.
std::optional<BalanceChoice> balanceChoice(QCommandLineParser& p, const ses::Settings& s) {
    BalanceChoice b{isSet(p, "device") ? value(p, "device").trimmed() : s.balanceDevice, s.balanceProtocol, s.balanceLine};
    if (b.device.isEmpty()) {
        err(ses::msg::CliNoBalance);
        return std::nullopt;
    }
    if (isSet(p, "protocol")) {
        const auto proto = lnk::balance::protocolNamed(value(p, "protocol"));
        if (!proto) {
            err(ses::msg::CliBalanceProtocolForm.arg(value(p, "protocol")));
            return std::nullopt;
        }
        // Another protocol than config.xml's: its own factory line, unless --line says.
        if (*proto != b.protocol)
            b.line = lnk::balance::defaultLine(*proto);
        b.protocol = *proto;
    }
    if (isSet(p, "line")) {
        QString why;
        const auto line = lnk::balance::lineNamed(value(p, "line"), &why);
        if (!line) {
            err(QStringLiteral("registrador-cli: %1").arg(why));
            return std::nullopt;
        }
        b.line = *line;
    }
    return b;
}

lnk::balance::Weighing weighOnce(const BalanceChoice& b) {
    const auto port = lnk::balance::serialBalancePort();
    lnk::SystemClock clock;
    // Ctrl+C gives up the wait for a balance that does not settle.
    return lnk::balance::weighOn(*port, clock, b.device, b.protocol, b.line,
                                 [](const lnk::balance::Reading&) { return !interrupted.load(); });
}

int refusalExit(const lnk::balance::Weighing& w) {
    err(ses::msg::CliBalanceRefused.arg(w.refusal));
    return interrupted ? kCancelled : w.lineFailed ? kComm : kRefused;
}

QString grams(double g) { return QString::number(g, 'f', 5); }

QJsonObject sampleJson(const rec::QueuedSample& s) {
    QJsonObject o{{QStringLiteral("id"), s.id},
                  {QStringLiteral("day"), s.day.toString(Qt::ISODate)},
                  {QStringLiteral("code"), s.code},
                  {QStringLiteral("description"), s.description},
                  {QStringLiteral("kind"), rec::kindKey(s.kind)},
                  {QStringLiteral("calorimeter"), s.calorimeter},
                  {QStringLiteral("state"), rec::stateText(s.state)},
                  {QStringLiteral("added_by"), s.addedBy},
                  {QStringLiteral("added_at"), s.addedUtc.toString(Qt::ISODateWithMs)}};
    if (s.certified)
        o[QStringLiteral("certified")] = *s.certified;
    if (s.aidMass)
        o[QStringLiteral("aid_mass_g")] = *s.aidMass;
    if (s.mass) {
        o[QStringLiteral("mass_g")] = *s.mass;
        o[QStringLiteral("mass_typed")] = s.massTyped;
        o[QStringLiteral("mass_source")] = s.massSource;
        o[QStringLiteral("weighed_at")] = s.weighedUtc.toString(Qt::ISODateWithMs);
        if (!s.balanceLine.isEmpty())
            o[QStringLiteral("raw")] = s.balanceLine;
    }
    if (s.determination)
        o[QStringLiteral("determination")] = s.determination;
    if (!s.discardedReason.isEmpty())
        o[QStringLiteral("discarded_reason")] = s.discardedReason;
    return o;
}

QString sampleLine(const rec::QueuedSample& s) {
    QString state = rec::stateText(s.state);
    if (s.determination)
        state += QStringLiteral(" (determinação %1)").arg(s.determination);
    if (!s.discardedReason.isEmpty())
        state += QStringLiteral(": ") + s.discardedReason;
    return QStringLiteral("%1  %2  %3  %4  %5  %6")
        .arg(QString::number(s.id).rightJustified(4), printable(s.code).leftJustified(14), rec::kindText(s.kind).leftJustified(10),
             (s.mass ? grams(*s.mass) + QStringLiteral(" g") : QStringLiteral("-")).rightJustified(11),
             s.mass ? printable(s.massSource) : QString(), state);
}

} // namespace

int weigh(const Command&, QCommandLineParser& p) {
    Cli c;
    const auto settings = settingsOf(c);
    if (!settings)
        return kFile;
    const auto b = balanceChoice(p, *settings);
    if (!b)
        return kUsage;
    const lnk::balance::Weighing w = weighOnce(*b);
    if (!w.ok)
        return refusalExit(w);
    if (isSet(p, "json")) {
        QJsonObject balance{{QStringLiteral("maker"), w.identity.maker}};
        if (!w.identity.model.isEmpty())
            balance[QStringLiteral("model")] = w.identity.model;
        if (!w.identity.serial.isEmpty())
            balance[QStringLiteral("serial")] = w.identity.serial;
        const QJsonObject o{{QStringLiteral("mass_g"), w.grams},
                            {QStringLiteral("raw"), w.raw},
                            {QStringLiteral("protocol"), lnk::balance::protocolName(w.protocol)},
                            {QStringLiteral("device"), w.device},
                            {QStringLiteral("line"), lnk::balance::lineName(b->line)},
                            {QStringLiteral("at"), w.atUtc.toString(Qt::ISODateWithMs)},
                            {QStringLiteral("source"), w.source()},
                            {QStringLiteral("balance"), balance}};
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
        return kOk;
    }
    out(QStringLiteral("%1 g (%2)").arg(grams(w.grams), w.source()));
    return kOk;
}

std::optional<rec::QueuedSample> queuedSample(const rec::Store& store, const QString& typed, qint64 replaces) {
    QString why;
    const auto list = store.samples(QDate::currentDate(), &why);
    if (!list) {
        err(why);
        return std::nullopt;
    }
    const QString code = rec::cleanText(typed);
    QList<rec::QueuedSample> weighed;
    std::optional<rec::QueuedSample> other;
    for (const rec::QueuedSample& s : *list)
        if (s.code == code) {
            // The record that replaces its own takes its sample again.
            if (s.state == rec::QueuedSample::State::Weighed ||
                (replaces && s.state == rec::QueuedSample::State::Recorded && s.determination == replaces))
                weighed << s;
            else
                other = s;
        }
    if (weighed.size() == 1)
        return weighed.front();
    if (weighed.size() > 1) {
        QStringList ids;
        for (const auto& s : weighed)
            ids << QString::number(s.id);
        err(ses::msg::CliQueuedTwice.arg(code, ids.join(QStringLiteral(", "))));
    } else if (other) {
        err(other->state == rec::QueuedSample::State::ToWeigh ? ses::msg::QueuedNotWeighed.arg(code)
                                                              : ses::msg::QueuedNotPending.arg(code, rec::stateText(other->state)));
    } else {
        err(ses::msg::CliQueuedNone.arg(code));
    }
    return std::nullopt;
}

int samples(const Command& cmd, QCommandLineParser& p) {
    const QString action = p.positionalArguments().value(0);
    const QString idText = p.positionalArguments().value(1);
    const bool needsId = action == QLatin1String("weigh") || action == QLatin1String("discard");
    bool idOk = false;
    const qint64 id = idText.toLongLong(&idOk);
    if (!QStringList{QStringLiteral("add"), QStringLiteral("list"), QStringLiteral("weigh"), QStringLiteral("discard")}.contains(action) ||
        needsId != !idText.isEmpty() || (needsId && (!idOk || id < 1))) {
        err(ses::msg::CliUsage.arg(cmd.name, cmd.synopsis));
        return kUsage;
    }
    Cli c;
    const auto settings = settingsOf(c);
    if (!settings)
        return kFile;
    bool bad = false;
    const auto certified = number(p, "certified", &bad), aidMass = number(p, "aid-mass", &bad), mass = number(p, "mass", &bad);
    if (bad)
        return kUsage;
    if (action == QLatin1String("add")) {
        const auto kind = isSet(p, "kind") ? rec::kindFromKey(value(p, "kind")) : std::optional(rec::QueuedSample::Kind::Sample);
        if (!kind) {
            err(ses::msg::CliSampleKindForm.arg(value(p, "kind")));
            return kUsage;
        }
        if (value(p, "code").trimmed().isEmpty()) {
            err(ses::msg::CliOptionMissing.arg(cmd.name, QStringLiteral("code")));
            return kUsage;
        }
        rec::QueuedSample s;
        s.code = value(p, "code");
        s.description = value(p, "description");
        s.kind = *kind;
        s.certified = certified;
        s.calorimeter = ses::calorimeterOrDefault(value(p, "calorimeter"));
        s.aidMass = aidMass;
        auto store = openStore(p, *settings);
        if (!store)
            return kFile;
        QString why;
        const auto added = store->addSample(s, &why);
        if (!added) {
            err(why);
            return kUsage;
        }
        out(QString::number(*added));
        return kOk;
    }
    if (action == QLatin1String("list")) {
        QDate day = QDate::currentDate();
        if (isSet(p, "day")) {
            day = QDate::fromString(value(p, "day").trimmed(), Qt::ISODate);
            if (!day.isValid()) {
                err(ses::msg::CliDateForm.arg(QStringLiteral("day"), value(p, "day")));
                return kUsage;
            }
        }
        auto store = openStore(p, *settings, rec::Store::Access::Read);
        if (!store)
            return kFile;
        QString why;
        const auto list = store->samples(day, &why);
        if (!list) {
            err(why);
            return kFile;
        }
        if (isSet(p, "json")) {
            QJsonArray a;
            for (const auto& s : *list)
                a << sampleJson(s);
            std::fputs(QJsonDocument(a).toJson(QJsonDocument::Indented).constData(), stdout);
        } else {
            for (const auto& s : *list)
                out(sampleLine(s));
        }
        return kOk;
    }
    auto store = openStore(p, *settings);
    if (!store)
        return kFile;
    QString why;
    const auto s = store->sample(id, &why);
    if (!s) {
        err(why);
        return kUsage;
    }
    if (action == QLatin1String("discard")) {
        if (!store->discardSample(id, value(p, "reason"), &why)) {
            err(why);
            return kUsage;
        }
        return kOk;
    }
    // weigh: typed only with its reason; otherwise the balance, read once.
    if (mass) {
        if (value(p, "reason").trimmed().isEmpty()) {
            err(ses::msg::CliTypedMassNeedsReason);
            return kUsage;
        }
        if (!store->weighSample(id, *mass, true, ses::msg::TypedMassSource.arg(store->user(), value(p, "reason").trimmed()), {}, &why)) {
            err(why);
            return kUsage;
        }
    } else {
        if (!s->pending()) {
            err(ses::msg::QueuedNotPending.arg(s->code, rec::stateText(s->state)));
            return kUsage;
        }
        const auto b = balanceChoice(p, *settings);
        if (!b)
            return kUsage;
        const lnk::balance::Weighing w = weighOnce(*b);
        if (!w.ok)
            return refusalExit(w);
        if (!store->weighSample(id, w.grams, false, w.source(), w.raw, &why)) {
            err(why);
            return kFile;
        }
    }
    const auto back = store->sample(id, &why);
    if (back)
        out(sampleLine(*back));
    return kOk;
}

} // namespace cli
