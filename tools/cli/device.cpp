// The commands that talk to the logger: probe, download, clear.
#include "tools/cli/cli.h"

namespace cli {

namespace {

// Shows progress on a terminal.
class CliListener : public acq::DownloadListener {
public:
    CliListener() : tty_(::isatty(2) != 0) {}
    void progressStart(int maximum, int) override { max_ = std::max(maximum, 1); done_ = 0; draw(); }
    void progressStep() override {
        done_ = std::min(max_, done_ + 64);
        draw();
    }
    void progressEnd() override {
        if (tty_)
            std::fprintf(stderr, "\n");
    }

private:
    void draw() const {
        if (!tty_)
            return;
        const int width = 40, filled = static_cast<int>(static_cast<qint64>(done_) * width / max_);
        std::fprintf(stderr, "\rLendo memória... [%s%s] %3d%%", QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, ' ').constData(), static_cast<int>(static_cast<qint64>(done_) * 100 / max_));
        std::fflush(stderr);
    }
    bool tty_;
    int max_ = 1, done_ = 0;
};

} // namespace

int probe(const Command&, QCommandLineParser& p) {
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    QByteArray r;
    const ses::Outcome o = c->session.probe(&r);
    // The answer as text, its line end and any other control character written out.
    if (!r.isEmpty())
        out(printable(QString::fromLatin1(r.endsWith("\r\n") ? r.chopped(2) : r)));
    if (!o.ok()) {
        err(o.text);
        err(o.detail);
    }
    return exitOf(o);
}

int download(const Command&, QCommandLineParser& p) {
    downloading = true;
    const QString path = value(p, "out");
    const QString dump = value(p, "dump");
    if (!outputUsable(path, {dump}))
        return kUsage;
    if (!outputWritable(path) || (!dump.isEmpty() && !outputWritable(dump)))
        return kFile;
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    CliListener l;
    const ses::Outcome o = c->session.download(l, &interrupted);
    downloading = false;
    const int code = exitOf(o);
    if (!o.text.isEmpty())
        err(o.text);
    if (!o.detail.isEmpty())
        err(o.detail);
    // The memory as read is kept whatever the outcome: it is what a technician looks at.
    const QByteArray& memory = c->session.memoryRead();
    if (!dump.isEmpty() && !memory.isEmpty() && !writeOrTell(dump, memory))
        return kFile;
    if (code != kOk && !isSet(p, "partial"))
        return code;
    const int saved = saveDownload(c->session, path);
    // A failed download that read no sample says why it failed, not that the memory is empty.
    return saved == kEmpty && code != kOk ? code : saved != kOk ? saved : code;
}

int clear(const Command&, QCommandLineParser& p) {
    if (!isSet(p, "yes")) {
        err(ses::msg::CliClearNeedsYes);
        return kUsage;
    }
    auto c = openDevice(value(p, kDevice));
    if (!c)
        return kComm;
    const ses::Outcome o = c->session.clearMemory();
    (o.ok() ? out : err)(o.text);
    return exitOf(o);
}


} // namespace cli
