#pragma once
// TForm1: the main window. Its creation step reads the configuration and opens the port;
// its handlers download, show, save, open, export and erase the logger's measurements.
#include "acquisition/download.h"
#include "acquisition/measurements.h"
#include "session/session.h"
#include "app/evaluationdialog.h"
#include "app/services.h"
#include "app/testchart.h"
#include "export/dtExport.h"
#include "link/serialchannel.h"

#include <QMainWindow>
#include <atomic>
#include <map>
#include <memory>

class QAction;
class QChartView;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;
class QTableView;
class TableModel;
class TFormLendo;
class TAboutBox;
class TFormComunicacao;
class TFormService;
class QDialog;

class TForm1 : public QMainWindow, private acq::DownloadListener {
    Q_OBJECT
public:
    explicit TForm1(Services services, QWidget* parent = nullptr);
    ~TForm1() override;

    /// True when the creation step asked for the program to end (configuration failures).
    bool terminationRequested() const { return terminate_; }
    const ses::RuntimeConfig& config() const { return session_.config(); }
    ses::Session& session() { return session_; }
    lnk::SerialChannel& channel() { return channel_; }
    acq::Measurements& ClientDataSet1() { return session_.data(); }
    TestChart& chartParts() { return chart_; }

    // Handlers
    void FormCreate();
    bool FormCloseQuery();
    void FormDestroy();
    void Sair1Click();
    void btnLerDadosClick();
    void btnLimparClick();
    void Limpar1Click();
    void ComboBox1Change();
    void Abrir1Click();
    void Salvar1Click();
    void Sobre1Click();
    void Service1Click();
    void Comunicao1Click();
    void Exportar1Click();
    void AvaliarEnsaioClick();
    void SalvarGraficoClick();
    void ResultadosClick();
    void AmostrasClick();
    void dtDataSetExport1FileExist(const QString& fileName, bool& canOverWrite);
    void dtDataSetExport1EndExport();
    void dtDataSetExport1Error(TdtExportError e);
    TdtDataSetExport dtDataSetExport1;

    /// A top-level menu item found by caption, ignoring accelerator ampersands and case.
    QAction* findTopItem(const QString& caption) const;

    // Controls, by their designer names
    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QComboBox* ComboBox1;
    QLabel* LabelTMin;
    QLabel* LabelTMax;
    QTableView* DBGrid1;
    QPushButton* btnLerDados;
    QPushButton* btnLimpar;
    QChartView* Chart1;
    QStatusBar* StatusBar1;
    TFormLendo* FormLendo;
    TAboutBox* AboutBox;
    TFormComunicacao* FormComunicacao;
    TFormService* FormService;

    QMenu* Arquivo1;
    QAction* Abrir1;
    QAction* Salvar1;
    QAction* N2;
    QAction* Exportar1;
    QAction* N1;
    QAction* Sair1;
    QMenu* Dados1;
    QAction* Iniciar1;
    QAction* Parar1;
    QAction* Limpar1;
    QMenu* Configurar1;
    QAction* Comunicao1;
    QMenu* Ajuda1;
    QAction* Sobre1;
    QAction* Service1;
    QMenu* ChartMenu; ///< right click on the chart
    QAction* AvaliarEnsaio1;
    QAction* SalvarGrafico1;
    QAction* RestaurarZoom1;
    QAction* Amostras1;
    QAction* Resultados1; ///< the results database's list
    /// The evaluation inputs typed for each test while the program runs.
    std::map<std::pair<qint64, int>, ses::EvaluationRequest> evaluationInputs; ///< by number and occurrence

    TableModel* gridModel() const { return model_; }
    /// A row of config.xml as it is on disk now; empty when absent.
    QString configValue(const QString& key) const;
    /// Opens the results database config.xml names.
    std::unique_ptr<rec::Store> openResults(QString* why) const;
    /// Offers to move a results database an earlier version left in its own folder.
    void offerOldDatabase() const;
    /// config.xml's settings, after a warning for each row whose value could not be used.
    ses::Settings settings() const;


protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void buildControls();
    void buildMenus();
    void fitGridTitles();
    void deleteGridRow();
    void showTest(const acq::TestRun& test);
    void rebuildTestList();
    void setUpExport();
    int execDialog(QDialog& d);
    /// Shows an operation's outcome in the box of its kind; true when it was a success.
    bool tell(const ses::Outcome& o);
    /// The warning that port `index` did not open, with the cause when it is the permissions.
    void tellPortFailed(int index);
    std::optional<acq::TestRun> shownTest() const;

    /// True when the table holds nothing unsaved, or the user agrees to replace it.
    bool mayReplaceData();
    /// Asks the download in progress to stop after its current block.
    void cancelDownload();

    // acq::DownloadListener: called on the download's thread, shown on the window's
    void progressStart(int maximum, int step) override;
    void progressStep() override;
    void progressEnd() override;

    Services s_;
    ses::Session session_;
    RememberingFileDialogs files_{s_.files, documentsFolder()};
    lnk::SerialChannel& channel_;
    TestChart chart_;
    TableModel* model_ = nullptr;
    bool terminate_ = false;
    bool destroyed_ = false;
    int progressStepSize_ = 1;
    bool exportFailed_ = false;
    bool downloading_ = false;
    std::atomic<bool> cancel_{false}; ///< set by the progress window's close or Escape
    bool closePending_ = false; ///< a close asked for during a download, handled after it
};

// The texts the window shows, from the program's one message table.
inline const QString& kMsgUnsavedQuit = ses::msg::UnsavedQuit;
inline const QString& kMsgNothingToSave = ses::msg::NothingToSave;
inline const QString& kMsgUnsavedReplace = ses::msg::UnsavedReplace;
inline const QString& kMsgPortFailed = ses::msg::PortFailed;
inline const QString& kMsgClearAsk = ses::msg::ClearAsk;
inline const QString& kMsgClearOk = ses::msg::ClearOk;
inline const QString& kMsgClearFailed = ses::msg::ClearFailed;
inline const QString& kMsgExportOk = ses::msg::ExportOk;
inline const QString& kMsgExportExists = ses::msg::ExportExists;
inline const QString& kMsgViewerFailed = ses::msg::ViewerFailed;
inline const QString& kMsgConfigNotSaved = ses::msg::ConfigNotSaved;
inline const QString& kMsgConfigMissing = ses::msg::ConfigMissing;
inline const QString& kMsgConfigInvalid = ses::msg::ConfigInvalid;
inline const QString kMainCaption = QStringLiteral("Bomba Calorimétrica - Registrador de Dados");
