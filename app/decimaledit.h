#pragma once
// A number field as a technician types it: "0,8" and "0.8" alike, anything else marked on the
// spot with the reason. Shows numbers as the window writes them, with fixed decimals.
#include <QLineEdit>
#include <QString>
#include <optional>

class QFormLayout;

class DecimalEdit : public QLineEdit {
    Q_OBJECT
public:
    DecimalEdit(int decimals, bool allowEmpty, QWidget* parent = nullptr);

    /// The number typed, NaN while the text is not one (0 for an empty field that may be).
    double value() const;
    bool isValid() const { return valid_; }
    /// Why the text is not a number; empty while it is.
    QString problem() const;
    /// Shows `v` with the field's decimals and takes it as typed (`edited` is emitted).
    void setValue(double v);
    /// Shows `v` without telling anyone (the window showing its own state).
    void showValue(double v);

signals:
    /// The text changed to a number, or to something that is not one.
    void changedByUser();
    /// Up or Down was pressed: +1 or -1.
    void stepped(int direction);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void check();
    int decimals_;
    bool allowEmpty_;
    bool valid_ = true;
    /// The value last set, with all its digits, while the field still shows it rounded.
    std::optional<double> exact_;
    bool quiet_ = false;
};

/// A form's row of a number and its unit: the field (showing `value`, or empty) with the unit
/// beside it.
DecimalEdit* addDecimalRow(QFormLayout* form, const QString& label, const QString& unit, int decimals, bool allowEmpty,
                           const std::optional<double>& value, QWidget* parent);
