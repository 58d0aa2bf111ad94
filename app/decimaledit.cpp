#include "app/decimaledit.h"

#include "evaluation/evaluation.h"
#include "session/testevaluation.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <cmath>

DecimalEdit::DecimalEdit(int decimals, bool allowEmpty, QWidget* parent)
    : QLineEdit(parent), decimals_(decimals), allowEmpty_(allowEmpty) {
    setAlignment(Qt::AlignRight);
    connect(this, &QLineEdit::textChanged, this, [this] {
        check();
        if (!quiet_)
            emit changedByUser();
    });
}

double DecimalEdit::value() const {
    // A value set with more digits than shown (a series' W) is read back whole, not rounded.
    if (exact_ && text() == ses::fixed(*exact_, decimals_))
        return *exact_;
    if (text().trimmed().isEmpty())
        return allowEmpty_ ? 0.0 : std::nan("");
    return eval::parseDecimal(text()).value_or(std::nan(""));
}

QString DecimalEdit::problem() const {
    if (valid_)
        return {};
    if (text().trimmed().isEmpty())
        return QStringLiteral("falta o valor");
    return QStringLiteral("\"%1\" não é um número (use 0,8 ou 0.8)").arg(text());
}

void DecimalEdit::check() {
    valid_ = !std::isnan(value());
    // Marked where it is, so the user sees which field holds what cannot be read.
    setStyleSheet(valid_ ? QString() : QStringLiteral("QLineEdit { border: 2px solid #c00000; background: #fff0f0; }"));
    setToolTip(problem());
}

void DecimalEdit::setValue(double v) {
    exact_ = v;
    setText(ses::fixed(v, decimals_));
}

void DecimalEdit::showValue(double v) {
    quiet_ = true;
    setValue(v);
    quiet_ = false;
}

void DecimalEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) {
        emit stepped(e->key() == Qt::Key_Up ? 1 : -1);
        return;
    }
    QLineEdit::keyPressEvent(e);
}

DecimalEdit* addDecimalRow(QFormLayout* form, const QString& label, const QString& unit, int decimals, bool allowEmpty,
                           const std::optional<double>& value, QWidget* parent) {
    auto* e = new DecimalEdit(decimals, allowEmpty, parent);
    if (value)
        e->showValue(*value);
    else
        e->clear();
    auto* row = new QWidget(parent);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(e, 1);
    h->addWidget(new QLabel(unit, row));
    // The label's Alt key goes to the field, not to the row that holds it with its unit.
    auto* l = new QLabel(label, parent);
    l->setBuddy(e);
    form->addRow(l, row);
    return e;
}
