#pragma once
// TFormService: a technician's window that sends single requests to the logger and shows the
// raw request, the raw response and whether it passed the frame check.
#include "app/messageservice.h"
#include "link/serialchannel.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TFormService : public QDialog {
    Q_OBJECT
public:
    TFormService(lnk::SerialChannel& channel, MessageService& messages, QWidget* parent = nullptr);

    void Button1Click();  ///< diagnostics
    void btnLimpaClick(); ///< memory clear, no question asked
    void Button2Click();  ///< read registers
    void Button3Click();  ///< write one register

    QPushButton* Button1;
    QPushButton* btnLimpa;
    QGroupBox* GroupBox1;
    QSpinBox* SpinEdit1;
    QSpinBox* SpinEdit2;
    QPushButton* Button2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QGroupBox* GroupBox2;
    QSpinBox* SpinEdit3;
    QSpinBox* SpinEdit4;
    QPushButton* Button3;
    QLineEdit* Edit7;
    QLineEdit* Edit8;
    QPushButton* Button4;

    static constexpr QSize kOuterSize{418, 428}; ///< frame included
    static constexpr QPoint kFramePos{328, 184};

    /// The integer in a spin field's text; a text that is not one reads as the lower bound.
    static int spinValue(const QSpinBox* s);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void fixedFrame(const QByteArray& frame, const lnk::ExchangeSpec& opts);
    void request(const QByteArray& frame, const lnk::ExchangeSpec& opts, QLineEdit* sent, QLineEdit* got);

    lnk::SerialChannel& ch_;
    MessageService& msg_;
};
