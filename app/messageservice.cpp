#include "app/messageservice.h"
#include "records/store.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

QString appTitle() { return QStringLiteral("Bomba Calorimétrica"); }

QString kindCaption(MsgKind k) {
    switch (k) {
    case MsgKind::Warning: return QStringLiteral("Warning");
    case MsgKind::Error: return QStringLiteral("Error");
    case MsgKind::Information: return QStringLiteral("Information");
    case MsgKind::Confirmation: return QStringLiteral("Confirm");
    }
    return {};
}

namespace {

QMessageBox::Icon iconOf(MsgKind k) {
    switch (k) {
    case MsgKind::Warning: return QMessageBox::Warning;
    case MsgKind::Error: return QMessageBox::Critical;
    case MsgKind::Information: return QMessageBox::Information;
    case MsgKind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// A box belongs over the window it is about: the active one, or a window that stays on top of
// the others (the export's progress window) when one is showing — a box beneath it could not
// be seen, let alone answered.
QWidget* boxParent() {
    QWidget* parent = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint) &&
            w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip && !qobject_cast<QMessageBox*>(w))
            parent = w;
    return parent;
}

void keepAbove(QMessageBox& box) {
    if (box.parentWidget() && (box.parentWidget()->windowFlags() & Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace

MsgAnswer QtMessageService::ask(MsgKind kind, const QString& text, MsgButtons buttons) {
    return run(kind, text, buttons, {});
}

MsgAnswer QtMessageService::askDestructive(MsgKind kind, const QString& text, MsgButtons buttons) {
    return run(kind, text, buttons, {}, true);
}

void QtMessageService::showDetailed(MsgKind kind, const QString& text, const QString& detail) {
    run(kind, text, MsgButtons::Ok, detail);
}

MsgAnswer QtMessageService::run(MsgKind kind, const QString& given, MsgButtons buttons,
                                const QString& givenDetail, bool safeDefault) {
    // A database's own words (in English, as its driver gives them) go under the details,
    // below the cause in Portuguese.
    QString text = given, detail = givenDetail;
    if (const qsizetype at = given.indexOf(rec::kDetailsMarker); at >= 0 && detail.isEmpty()) {
        text = given.left(at);
        detail = given.mid(at + rec::kDetailsMarker.size());
    }
    QMessageBox box(iconOf(kind), kindCaption(kind), text, QMessageBox::NoButton, boxParent());
    keepAbove(box);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    switch (buttons) {
    case MsgButtons::Ok:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setEscapeButton(ok);
        break;
    case MsgButtons::YesNo:
        yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setEscapeButton(no);
        break;
    case MsgButtons::YesCancel:
        yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
        break;
    case MsgButtons::OkCancel:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
        break;
    }
    if (safeDefault && (no || cancel))
        box.setDefaultButton(no ? no : cancel);
    else
        box.setDefaultButton(yes ? yes : ok);
    if (autoClose())
        QTimer::singleShot(0, &box, [&box] { box.done(0); });
    box.exec();
    const auto* clicked = box.clickedButton();
    if (clicked && clicked == yes) return MsgAnswer::Yes;
    if (clicked && clicked == ok) return MsgAnswer::Ok;
    if (clicked && clicked == no) return MsgAnswer::No;
    if (clicked && clicked == cancel) return MsgAnswer::Cancel;
    // Closed without a button (auto-close, window close): the safe answer.
    return no ? MsgAnswer::No : (cancel ? MsgAnswer::Cancel : MsgAnswer::Ok);
}

void QtMessageService::plain(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::NoButton, boxParent());
    keepAbove(box);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    if (autoClose())
        QTimer::singleShot(0, &box, [&box] { box.done(0); });
    box.exec();
}
