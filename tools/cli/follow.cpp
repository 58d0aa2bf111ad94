// follow: a test followed while the logger records it, reading by reading, its phases and
// alarms, then its evaluation as calc gives it.
#include "tools/cli/cli.h"

#include "acquisition/follow.h"
#include "session/livephase.h"

#include <QSet>

namespace cli {

namespace {

void line(const QJsonObject& o) {
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int follow(const Command&, QCommandLineParser& p) {
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    bool bad = false;
    const int pollMs = int(number(p, "poll-ms", &bad).value_or(5000));
    if (bad || pollMs < 50) {
        err(ses::msg::CliPollForm);
        return kUsage;
    }
    const bool json = isSet(p, "json");
    acq::Follower follower(c->session.channel(), c->clock);
    QString phase;
    std::optional<ses::LivePhase::Stage> stage;
    QSet<int> said; // each kind of alarm said once
    int shown = 0;
    bool silent = false;
    auto tell = [&](const char* event, const QString& text) {
        if (json)
            line({{QStringLiteral("event"), QLatin1String(event)}, {QStringLiteral("text"), text}});
        else
            out(text);
    };
    for (;;) {
        if (interrupted) {
            err(ses::msg::CliFollowStopped);
            return kCancelled;
        }
        const acq::Follower::Poll poll = follower.poll();
        using S = acq::Follower::Poll::State;
        if (poll.state == S::Invalid) {
            err(ses::msg::CliFollowInvalid);
            return kContents;
        }
        // A logger that stops answering: what was read stays, and it is asked again.
        if (poll.state == S::LineFailed && !silent)
            tell("alarm", ses::msg::FollowSilent);
        silent = poll.state == S::LineFailed;
        if (poll.state == S::Waiting && phase.isEmpty()) {
            phase = ses::msg::FollowWaiting;
            tell("phase", phase);
        }
        // A newer test began after one left open: that one is followed from its start.
        if (poll.switched) {
            shown = 0;
            stage.reset();
            said.clear();
        }
        if (const auto f = follower.followed()) {
            const acq::Measurements& m = follower.decoded().data;
            const acq::TestRun& t = m.tests()[size_t(*f)];
            for (; shown < int(t.rows.size()); ++shown) {
                const acq::Row& r = m.rows()[size_t(t.rows[size_t(shown)])];
                if (json)
                    line({{QStringLiteral("event"), QStringLiteral("reading")}, {QStringLiteral("ensaio"), r.ensaio},
                          {QStringLiteral("subreg"), r.subReg}, {QStringLiteral("tempo"), r.tempo},
                          {QStringLiteral("tint"), r.tint}, {QStringLiteral("text"), r.text}});
                else
                    out(QStringLiteral("%1\t%2\t%3\t%4\t%5").arg(r.ensaio).arg(r.subReg).arg(ses::fixed(r.tempo, 4),
                                                                                           ses::fixed(r.tint, 3), ses::fixed(r.text, 3)));
            }
            const std::vector<eval::Sample> samples = ses::testSamples(m, t);
            const ses::LivePhase now = ses::livePhase(samples);
            // Each phase said once, as it begins.
            if (now.stage != stage) {
                tell("phase", now.text);
                stage = now.stage;
            }
            for (const ses::LiveAlarm& a : ses::liveAlarms(samples, now))
                if (!said.contains(int(a.kind))) {
                    said << int(a.kind);
                    tell("alarm", a.text);
                }
            if (poll.state == S::MemoryFull)
                tell("alarm", ses::msg::FollowMemoryFull);
            if (poll.state == S::Ended || poll.state == S::MemoryFull) {
                // The test as a download gives it, evaluated as calc does.
                c->session.takeMemory(follower.memory());
                const acq::TestRun& done = c->session.data().tests()[size_t(*f)];
                ses::EvaluationRequest req;
                const eval::Outcome o = ses::evaluateTest(c->session.data(), done, req);
                if (poll.state == S::Ended)
                    tell("phase", ses::msg::FollowClosed);
                if (!o.ok()) {
                    err(o.error);
                    return kContents;
                }
                if (json) {
                    QJsonObject e = ses::resultJson(done, *o.result);
                    e[QStringLiteral("event")] = QStringLiteral("evaluation");
                    line(e);
                } else {
                    std::fputs(ses::resultText(done, *o.result, req.calorimetry).toUtf8().constData(), stdout);
                }
                return kOk;
            }
        }
        c->clock.pause(pollMs);
    }
}

} // namespace cli
