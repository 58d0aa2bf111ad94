#pragma once
// TForm1: the main window. Its creation step reads the configuration and opens the port;
// its handlers download, show, save, open, export and erase the logger's measurements.
#include "acquisition/download.h"
#include "acquisition/measurementtable.h"
#include "app/configuration.h"
#include "app/evaluationdialog.h"
#include "app/services.h"
#include "app/testchart.h"
#include "export/dtExport.h"
#include "link/serialchannel.h"

#include <QMainWindow>
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
    const RuntimeConfig& config() const { return config_; }
    lnk::SerialChannel& channel() { return channel_; }
    acq::MeasurementTable& ClientDataSet1() { return table_; }
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
    /// The evaluation inputs typed for each test while the program runs.
    std::map<qint64, EvaluationInputs> evaluationInputs;

    TableModel* gridModel() const { return model_; }
    /// A row of config.xml as it is on disk now; empty when absent.
    QString configValue(const QString& key) const;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void buildControls();
    void buildMenus();
    void deleteGridRow();
    void showTestByNumber(qint64 number);
    void rebuildTestList();
    void setUpExport();
    int execDialog(QDialog& d);
    void storePortInConfig(int index);
    /// Sets one row of config.xml (added when absent), every other row kept as it was.
    bool storeConfigValue(const QString& key, const QString& value, bool mustExist);
    qint64 shownTest() const;

    /// True when the table holds nothing unsaved, or the user agrees to replace it.
    bool mayReplaceData();
    /// A table file read whole, or nothing after the error box.
    std::optional<acq::Datapacket> loadOrTell(const QString& path);

    // acq::DownloadListener
    void clearTests() override;
    void testStarted(int number) override;
    void progressStart(int maximum, int step) override;
    void progressStep() override;
    void progressEnd() override;

    Services s_;
    lnk::SerialChannel channel_;
    acq::MeasurementTable table_;
    RuntimeConfig config_;
    TestChart chart_;
    TableModel* model_ = nullptr;
    bool terminate_ = false;
    bool destroyed_ = false;
    int progressStepSize_ = 1;
    bool exportFailed_ = false;
    bool downloading_ = false;
    bool closePending_ = false; ///< a close asked for during a download, handled after it
    bool tableRecreated_ = false;
    QString dataFile_; ///< the data file last opened or saved, for the report
};

inline const QString kMsgUnsavedQuit =
    QStringLiteral("Existem dados registrados não salvos. Deseja sair assim mesmo?");
inline const QString kMsgUnsavedReplace =
    QStringLiteral("Existem dados registrados não salvos. Deseja substituí-los assim mesmo?");
inline const QString kMsgPortFailed = QStringLiteral("Não consegui abrir a porta de comunicação.");
inline const QString kMsgClearAsk = QStringLiteral("Deseja realmente limpar todos os dados registrados?");
inline const QString kMsgClearOk = QStringLiteral("Operação executada com sucesso!");
inline const QString kMsgClearFailed = QStringLiteral("Erro ao executar operação!");
inline const QString kMsgExportOk = QStringLiteral("Arquivo exportado com sucesso");
inline const QString kMsgExportExists = QStringLiteral("Arquivo já existe! Deseja gravar mesmo assim?");
inline const QString kMsgViewerFailed =
    QStringLiteral("Não foi possível abrir o arquivo exportado. Ele foi gravado em:");
inline const QString kMsgConfigNotSaved = QStringLiteral("Não consegui salvar as configurações!");
inline const QString kMainCaption = QStringLiteral("Bomba Calorimétrica - Registrador de Dados");
