#include "app/configuration.h"

#include "acquisition/configtable.h"
#include "acquisition/datapacket.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Value of the first row whose Key equals `key` ignoring case; nothing when no row matches.
std::optional<QString> lookup(acq::Table& t, const QString& key) {
    if (!t.locate(QStringLiteral("Key"), key, true))
        return std::nullopt;
    return t.value(1).toString(); // the table's second column
}

} // namespace

bool loadStartupConfig(const QString& dir, MessageService& messages, RuntimeConfig& config,
                       lnk::PortMap* ports) {
    bool ok = true;
    auto fail = [&](const QString& text) {
        messages.show(MsgKind::Error, text);
        ok = false;
        messages.setAutoClose(true); // termination requested: later boxes close by themselves
    };

    acq::Table table;
    acq::fillBuiltInConfig(table);
    const QString path = QDir(dir).filePath(kConfigFileName);
    if (!QFileInfo::exists(path)) {
        fail(kMsgConfigMissing);
    } else {
        QString why;
        const auto packet = acq::loadDatapacket(path, &why);
        if (!packet || !acq::hasFields(*packet, {QStringLiteral("Key"), QStringLiteral("Value")}, &why)) {
            // A file that is no table at all ends start-up like any other invalid file.
            fail(kMsgConfigInvalid);
            table.close();
            table.setFieldDefs(acq::configFields());
            table.createDataSet();
        } else {
            // Key and Value first, whatever order the file keeps them in.
            QList<acq::Table::Row> rows;
            int ki = -1, vi = -1;
            for (int i = 0; i < packet->fields.size(); ++i) {
                if (packet->fields[i].name.compare(QLatin1String("Key"), Qt::CaseInsensitive) == 0) ki = i;
                if (packet->fields[i].name.compare(QLatin1String("Value"), Qt::CaseInsensitive) == 0) vi = i;
            }
            for (const auto& r : packet->rows)
                rows << acq::Table::Row{r[ki], r[vi]};
            table.assign(acq::configFields(), rows, packet->autoIncValue);
        }
    }

    auto key = [&](const QString& name, auto parse, auto store) {
        const auto text = lookup(table, name);
        const auto value = text ? parse(*text) : std::nullopt;
        if (!value)
            fail(kMsgConfigInvalid);
        else
            store(*value);
    };
    key(QStringLiteral("ComPort"), acq::parseComPort, [&](qint32 v) { config.port = v; });
    key(QStringLiteral("IntAq"), acq::parseIntAq, [&](qint64 v) { config.intAq = v; });
    key(QStringLiteral("Coef1"), acq::parseSingle, [&](float v) { config.coef1 = v; });
    key(QStringLiteral("Coef2"), acq::parseSingle, [&](float v) { config.coef2 = v; });
    key(QStringLiteral("Desl1"), acq::parseSingle, [&](float v) { config.desl1 = v; });
    key(QStringLiteral("Desl2"), acq::parseSingle, [&](float v) { config.desl2 = v; });
    const auto debug = lookup(table, QStringLiteral("Debug"));
    if (!debug)
        fail(kMsgConfigInvalid);
    config.debug = debug && *debug == QLatin1String("1");

    if (ports) {
        for (int i = 0; i < lnk::PortMap::kPorts; ++i) {
            const auto dev = lookup(table, QStringLiteral("COM%1").arg(i + 1));
            if (dev && !dev->trimmed().isEmpty())
                ports->setDevice(i, dev->trimmed());
        }
    }
    table.close();
    return ok;
}
