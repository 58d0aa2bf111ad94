#pragma once
// TFormResultados: the determinations of the results database, newest first, with the verdict
// on each sample's duplicates; filtered by sample code; a selected one rejected with a reason.
#include "app/messageservice.h"
#include "records/store.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;
class QTableWidget;

class TFormResultados : public QDialog {
    Q_OBJECT
public:
    using Open = std::function<std::unique_ptr<rec::Store>(QString* why)>;
    TFormResultados(Open open, MessageService& messages, QWidget* parent = nullptr);

    /// Reads the list again; false after telling why it could not.
    bool refresh();
    void RejeitarClick();

    QLineEdit* EditFiltro;
    QTableWidget* Lista;
    QLineEdit* EditMotivo;
    QPushButton* btnRejeitar;
    QPushButton* btnFechar;

private:
    Open open_;
    MessageService& messages_;
    QList<rec::Determination> shown_;
};
