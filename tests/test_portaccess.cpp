// A serial device the user may not read and write: the start-up warning keeps its text and
// tells, as its detail text, the cause and how to get access. Runs on the real serial library
// against files whose permissions deny access; ctest runs it without root's override of them.
#include "app/tform1.h"
#include "link/systemseriallibrary.h"
#include "tests/support.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct Box {
    MsgKind kind;
    QString text;
    QString detail;
};

class DetailMessages : public MessageService {
public:
    MsgAnswer ask(MsgKind kind, const QString& text, MsgButtons) override {
        shown.append({kind, text, {}});
        return MsgAnswer::Ok;
    }
    void plain(const QString& text) override { shown.append({MsgKind::Information, text, {}}); }
    void showDetailed(MsgKind kind, const QString& text, const QString& detail) override {
        shown.append({kind, text, detail});
    }
    QList<Box> shown;
};

struct Start {
    QTemporaryDir dir;
    DetailMessages messages;
    ScriptedFiles files;
    RecordingViewer viewer;
    RecordingClock clock;
    lnk::SystemSerialLibrary serial;
    ScriptedDialogs dialogs;
    ExportScript exportScript;
    ScriptedExportUi::Factory exportWindows{&exportScript};
    std::unique_ptr<TForm1> form;

    QString device(const char* name, QFileDevice::Permissions perms) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        QFile::setPermissions(path, perms);
        return path;
    }
    void startOn(const QString& device) {
        auto rows = builtInConfigRows();
        rows[0].second = QStringLiteral("0");
        rows.append({QStringLiteral("COM1"), device});
        writeConfig(dir.path(), rows);
        form = std::make_unique<TForm1>(Services{serial, clock, messages, files, viewer, dialogs,
                                                 serial.portMap(), dir.path(), exportWindows});
    }
};

// Root reads and writes any file whatever its permissions; ctest drops that privilege first.
bool permissionsApply(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0;
}

} // namespace

TEST(PortAccess, DeviceOfAGroupTheUserIsNotIn) {
    Start s;
    // Like /dev/ttyUSB0 (crw-rw---- root dialout) for a user outside the group.
    const QString dev = s.device("ttyUSB0", QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    if (!permissionsApply(dev)) GTEST_SKIP() << "this user's privileges override file permissions";
    s.startOn(dev);
    EXPECT_FALSE(s.form->terminationRequested());
    ASSERT_EQ(s.messages.shown.size(), 1);
    const Box& b = s.messages.shown[0];
    EXPECT_EQ(b.kind, MsgKind::Warning);
    EXPECT_EQ(b.text, kMsgPortFailed);
    const QString group = QFileInfo(dev).group();
    EXPECT_TRUE(b.detail.contains(ses::msg::PortNoPermission.arg(dev))) << b.detail.toStdString();
    EXPECT_TRUE(b.detail.contains(QStringLiteral("sudo adduser $USER %1").arg(group)))
        << b.detail.toStdString();

    // The communication dialog's re-open tells the same.
    s.messages.shown.clear();
    s.form->Comunicao1Click(); // accepted as it is: the same port again
    ASSERT_FALSE(s.messages.shown.isEmpty());
    EXPECT_EQ(s.messages.shown[0].text, kMsgPortFailed);
    EXPECT_EQ(s.messages.shown[0].detail, b.detail);
}

TEST(PortAccess, DetailOnlyForWhatPermissionsCause) {
    Start s;
    // No group may use it: the cause is told, but joining a group would not help.
    const QString closed = s.device("ttyS9", {});
    if (!permissionsApply(closed))
        GTEST_SKIP() << "this user's privileges override file permissions";
    s.startOn(closed);
    ASSERT_EQ(s.messages.shown.size(), 1);
    EXPECT_EQ(s.messages.shown[0].text, kMsgPortFailed);
    EXPECT_EQ(s.messages.shown[0].detail, ses::msg::PortNoPermission.arg(closed));

    // A device that is not there: nothing about permissions, but which device is missing.
    Start missing;
    missing.startOn(missing.dir.filePath(QStringLiteral("ttyUSB7")));
    ASSERT_EQ(missing.messages.shown.size(), 1);
    EXPECT_EQ(missing.messages.shown[0].text, kMsgPortFailed);
    EXPECT_FALSE(missing.messages.shown[0].detail.contains("permissão"));
    EXPECT_TRUE(missing.messages.shown[0].detail.contains(missing.dir.filePath(QStringLiteral("ttyUSB7")) + ", que não existe"))
        << missing.messages.shown[0].detail.toStdString();
}
