#pragma once
// TFormAmostras ("Amostras do dia"): the samples weighed before their tests. A code typed or
// scanned (a barcode reader types it and Enter), its kind and calorimeter; "Pesar" takes the
// balance's stable reading, showing the value while it settles; a mass typed only with its
// reason; a sample not burnt discarded with its reason; the list saved to print.
#include "app/filedialogs.h"
#include "app/messageservice.h"
#include "link/balance.h"
#include "records/store.h"
#include "session/settings.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class DecimalEdit;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QThread;

class TFormAmostras : public QDialog {
    Q_OBJECT
public:
    using Open = std::function<std::unique_ptr<rec::Store>(QString* why)>;
    /// The lab's balance, as config.xml names it; none: masses are typed, with a reason.
    struct BalanceSetup {
        QString device;
        lnk::balance::Protocol protocol = lnk::balance::Protocol::MtSics;
        lnk::balance::LineSettings line;
    };
    /// config.xml's balance; nothing when its row Balanca is empty.
    static std::optional<BalanceSetup> balanceOf(const ses::Settings& s);
    TFormAmostras(Open open, std::optional<BalanceSetup> balance, MessageService& messages, FileDialogs& files,
                  QWidget* parent = nullptr);
    ~TFormAmostras() override;

    /// Reads the list again; false after telling why it could not.
    bool refresh();
    void IncluirClick();
    /// Weighs the selected sample on the balance (off the window's thread); while it weighs,
    /// the button stops it.
    void PesarClick();
    void DigitarClick();
    void DescartarClick();
    void ImprimirClick();
    bool weighing() const { return worker_ != nullptr; }
    const rec::QueuedSample* selected() const;
    /// Selects the row of sample `id`.
    void select(qint64 id);

    QLineEdit* EditCodigo;
    QLineEdit* EditDescricao;
    QComboBox* ComboTipo;
    DecimalEdit* EditCertificado;
    QLineEdit* EditCalorimetro;
    DecimalEdit* EditAuxiliar;
    QPushButton* btnIncluir;
    QTableWidget* Lista;
    QLabel* LabelBalanca;
    QPushButton* btnPesar;
    DecimalEdit* EditMassa;
    QLineEdit* EditMotivo;
    QPushButton* btnDigitar;
    QPushButton* btnDescartar;
    QPushButton* btnImprimir;
    QPushButton* btnFechar;
    QLabel* LabelBanco;

signals:
    /// A weighing ended: its mass kept, or refused with the reason said.
    void weighingFinished(bool ok);

protected:
    /// Enter goes on down the new sample's fields and adds it; it never discards nor closes.
    void keyPressEvent(QKeyEvent* e) override;
    void done(int r) override;

private:
    void showLive(const lnk::balance::Reading& r);
    void finishWeighing(qint64 id, const lnk::balance::Weighing& w);
    void updateButtons();
    rec::Store* store();

    Open open_;
    std::unique_ptr<rec::Store> store_;
    std::optional<BalanceSetup> balance_;
    MessageService& messages_;
    FileDialogs& files_;
    QList<rec::QueuedSample> shown_;
    QThread* worker_ = nullptr;
    std::optional<int> closeAfterWeighing_; ///< the window was closed while it weighed
    std::atomic<bool> cancel_{false};
};
