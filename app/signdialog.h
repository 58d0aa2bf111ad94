#pragma once
// TFormAssinatura: an electronic signature of one determination (review, approval, or the
// rejection of an approved one). It shows what is signed first: the record, the doubts an
// approval must answer and the record's history; then asks who signs and the password, every
// time. A refused signature keeps the window, with the password cleared.
#include "app/messageservice.h"
#include "records/store.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFormAssinatura : public QDialog {
    Q_OBJECT
public:
    /// Signs with who and the comment; false with why.
    using Sign = std::function<bool(const rec::Signer& signer, const QString& comment, QString* why)>;
    /// `duplicates`: the verdict on the sample's duplicates, shown with the record.
    TFormAssinatura(const rec::Determination& d, rec::Signature::Meaning meaning, const QString& duplicates,
                    const QString& doubts, const QString& history, Sign sign, MessageService& messages,
                    QWidget* parent = nullptr);

    void AssinarClick();
    bool signedIt() const { return signed_; }

    QLabel* LabelRegistro;
    QLabel* LabelDuvidas;
    QPlainTextEdit* TextoHistorico;
    QLineEdit* EditUsuario;
    QLineEdit* EditSenha;
    QLineEdit* EditComentario;
    QPushButton* btnAssinar;
    QPushButton* btnCancelar;

private:
    Sign sign_;
    MessageService& messages_;
    bool signed_ = false;
};
