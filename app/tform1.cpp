#include "app/tform1.h"

#include "acquisition/datapacket.h"
#include "acquisition/lendo.h"
#include "acquisition/toplevel.h"
#include "acquisition/wholefile.h"
#include "app/about.h"
#include "app/config.h"
#include "app/service.h"
#include "app/resultswindow.h"
#include "app/sampleswindow.h"
#include "app/tablemodel.h"
#include "session/calibrationseries.h"
#include "session/testview.h"
#include "app/exportsettings.h"
#include "export/dtExportSelect.h"

#include <QApplication>
#include <QBuffer>
#include <QMenu>
#include <cmath>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

// Why the port did not open, when the cause is the device's permissions: the user may not read
// and write it (on Linux a serial adapter belongs to the group dialout, which a new user is not
// in). Empty for any other cause.
QString portAccessDetail(const QString& device) {
#ifdef Q_OS_UNIX
    if (device.isEmpty() || ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0 ||
        errno != EACCES)
        return {};
    QString detail = ses::msg::PortNoPermission.arg(device);
    const QFileInfo info(device);
    const QString group = info.group();
    if (!group.isEmpty() && info.permission(QFileDevice::ReadGroup | QFileDevice::WriteGroup))
        detail += QStringLiteral("\n\n") + ses::msg::PortJoinGroup.arg(group);
    return detail;
#else
    (void)device;
    return {};
#endif
}

const QString kDataFilter =
    QStringLiteral("Arquivos de dados (*.dat)|*.dat|Todos os arquivos (*.*)|*.*");

QString withoutAmpersands(QString s) { return s.remove(QLatin1Char('&')); }

// Typing in a drop-down list opens it rather than jumping to the entry whose text starts with
// the key: picking a test is a deliberate choice, made in the open list.
class OpenListOnTyping : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* box = qobject_cast<QComboBox*>(o);
        if (box && e->type() == QEvent::KeyPress) {
            const auto* k = static_cast<QKeyEvent*>(e);
            const bool typed = !k->text().isEmpty() && k->text().at(0).isPrint() &&
                               !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
            if (typed) {
                box->showPopup();
                return true;
            }
        }
        return QObject::eventFilter(o, e);
    }
};

} // namespace

TForm1::TForm1(Services services, QWidget* parent)
    : QMainWindow(parent), s_(std::move(services)), session_(s_.serial, s_.clock, &s_.ports, s_.workDir),
      channel_(session_.channel()) {
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    buildMenus();
    setUpExport();
    FormCreate();
    AboutBox = new TAboutBox(this);
    FormComunicacao = new TFormComunicacao(this);
    FormService = new TFormService(channel_, s_.messages, this);
}

TForm1::~TForm1() {
    FormDestroy();
    // The grid's model reads the session's measurements: let it go while they still exist.
    DBGrid1->setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

// ---- layout ---------------------------------------------------------------------------------

void TForm1::buildControls() {
    setWindowTitle(kMainCaption);
    initAppResources();
    setWindowIcon(QIcon(QStringLiteral(":/registrador.svg")));
    // The reference layout is in pixels at 96 dpi; scale it with the screen's logical dpi.
    const double k = std::max(1.0, logicalDpiX() / 96.0);
    auto px = [k](int v) { return static_cast<int>(v * k + 0.5); };
    auto geo = [&](QWidget* w, int l, int t, int wd, int h) { w->setGeometry(px(l), px(t), px(wd), px(h)); };

    QFont f = font();
    f.setPixelSize(px(11));
    setFont(f);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    setCentralWidget(central);

    GroupBox2 = new QGroupBox(QStringLiteral("Ensaio"), central);
    geo(GroupBox2, 8, 8, 305, 49);
    Label1 = new QLabel(QStringLiteral("Número do ensaio:"), GroupBox2);
    Label1->move(px(16), px(20));
    ComboBox1 = new QComboBox(GroupBox2);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    geo(ComboBox1, 120, 16, 169, 21);
    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
    ComboBox1->installEventFilter(new OpenListOnTyping(ComboBox1));

    GroupBox1 = new QGroupBox(QStringLiteral("Temperaturas"), central);
    geo(GroupBox1, 320, 8, 297, 49);
    Label2 = new QLabel(QStringLiteral("Mínima:"), GroupBox1);
    Label2->move(px(8), px(24));
    Label3 = new QLabel(QStringLiteral("Máxima:"), GroupBox1);
    Label3->move(px(160), px(24));
    QFont big = f;
    big.setPixelSize(px(16));
    big.setBold(true);
    // 16 pixels is the reference; a wider font than the reference one steps down until the
    // widest reading still fits beside its caption.
    while (big.pixelSize() > px(11) && QFontMetrics(big).horizontalAdvance(QStringLiteral("00.000 °C")) > px(297 - 208 - 6))
        big.setPixelSize(big.pixelSize() - 1);
    for (QLabel** l : {&LabelTMin, &LabelTMax}) {
        *l = new QLabel(QStringLiteral("0.000 °C"), GroupBox1);
        (*l)->setFont(big);
        (*l)->setStyleSheet(QStringLiteral("color: red"));
        (*l)->setMinimumWidth(px(95));
    }
    // The reading's room ends at the group box's edge.
    LabelTMax->setMinimumWidth(std::min(px(95), px(297 - 208 - 2)));
    LabelTMin->setObjectName(QStringLiteral("LabelTMin"));
    LabelTMax->setObjectName(QStringLiteral("LabelTMax"));
    LabelTMin->move(px(54), px(21));
    LabelTMax->move(px(208), px(20));

    DBGrid1 = new QTableView(central);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    geo(DBGrid1, 8, 64, 305, 249);
    model_ = new TableModel(session_.data(),
                            {{acq::field::SubReg, {}, 56},
                             {acq::field::Tempo, QStringLiteral("Tempo (min)"), 65},
                             {acq::field::Tint, {}, 80},
                             {acq::field::Text, {}, 80}},
                            this);
    DBGrid1->setModel(model_);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setTabKeyNavigation(true);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(px(17));
    DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->horizontalHeader()->setSectionsMovable(false);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < model_->columns().size(); ++c)
        DBGrid1->setColumnWidth(c, px(model_->columns()[c].width));
    fitGridTitles();
    DBGrid1->installEventFilter(this);

    btnLerDados = new QPushButton(QStringLiteral("&Ler Dados"), central);
    btnLerDados->setObjectName(QStringLiteral("btnLerDados"));
    geo(btnLerDados, 8, 320, 145, 25);
    connect(btnLerDados, &QPushButton::clicked, this, [this] { btnLerDadosClick(); });
    btnLimpar = new QPushButton(QStringLiteral("&Limpar Memória"), central);
    btnLimpar->setObjectName(QStringLiteral("btnLimpar"));
    geo(btnLimpar, 168, 320, 145, 25);
    connect(btnLimpar, &QPushButton::clicked, this, [this] { btnLimparClick(); });
    // Enter clicks a focused button, as Space does.
    btnLerDados->setAutoDefault(true);
    btnLimpar->setAutoDefault(true);

    Chart1 = new QChartView(chart_.chart(), central);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    geo(Chart1, 320, 64, 297, 281);
    Chart1->setFrameShape(QFrame::Panel);
    Chart1->setFrameShadow(QFrame::Sunken);
    Chart1->setRubberBand(QChartView::RectangleRubberBand);
    Chart1->setRenderHint(QPainter::Antialiasing);
    chart_.setZoomAnimated(true);
    Chart1->setToolTip(QStringLiteral("Arraste para ampliar; clique com o botão direito para avaliar o ensaio, "
                                      "salvar o gráfico ou restaurar o zoom"));
    ChartMenu = new QMenu(Chart1);
    AvaliarEnsaio1 = ChartMenu->addAction(QStringLiteral("Avaliar ensaio..."), this, [this] { AvaliarEnsaioClick(); });
    SalvarGrafico1 = ChartMenu->addAction(QStringLiteral("Salvar gráfico como imagem..."), this, [this] { SalvarGraficoClick(); });
    RestaurarZoom1 = ChartMenu->addAction(QStringLiteral("Restaurar zoom"), this, [this] { chart_.resetZoom(); });
    Resultados1 = ChartMenu->addAction(QStringLiteral("Resultados..."), this, [this] { ResultadosClick(); });
    Amostras1 = ChartMenu->addAction(QStringLiteral("Amostras do dia..."), this, [this] { AmostrasClick(); });
    Chart1->installEventFilter(this);
    Chart1->viewport()->installEventFilter(this);

    setTabOrder(DBGrid1, btnLerDados);
    setTabOrder(btnLerDados, btnLimpar);
    setTabOrder(btnLimpar, Chart1);
    setTabOrder(Chart1, ComboBox1);
    toplevel::keepFirstMnemonics(this); // Alt+L is "&Ler Dados", first in tab order

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setFixedHeight(px(19));
    StatusBar1->setSizeGripEnabled(false);
    auto* p1 = new QLabel(StatusBar1);
    p1->setFixedWidth(px(200));
    auto* p2 = new QLabel(StatusBar1);
    p2->setFixedWidth(px(50));
    StatusBar1->addWidget(p1);
    StatusBar1->addWidget(p2);
    setStatusBar(StatusBar1);

    FormLendo = new TFormLendo(this);
    FormLendo->hide();
    connect(FormLendo, &TFormLendo::cancelRequested, this, [this] { cancelDownload(); });

    central->setFixedSize(px(622), px(374) - px(19));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    if (const QScreen* sc = screen()) {
        const QRect r = sc->availableGeometry();
        move(r.center() - QPoint(px(622) / 2, px(374) / 2));
    }
}

void TForm1::fitGridTitles() {
    // A title wider than its column at the platform's font takes a second line, in the height
    // of the header, rather than losing its end: the columns keep their reference widths.
    QHeaderView* h = DBGrid1->horizontalHeader();
    h->setTextElideMode(Qt::ElideNone);
    h->setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
    const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    const QFontMetrics fm(h->font());
    int textHeight = fm.height();
    for (int c = 0; c < model_->columnCount(); ++c) {
        const QString title = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        const QRect room(0, 0, std::max(1, DBGrid1->columnWidth(c) - 2 * margin), 1000);
        textHeight = std::max(textHeight, fm.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, title).height());
    }
    h->setMinimumHeight(textHeight + 2 * margin + 2);
}

void TForm1::buildMenus() {
    QMenuBar* bar = menuBar();
    Arquivo1 = bar->addMenu(QStringLiteral("&Arquivo"));
    Abrir1 = Arquivo1->addAction(QStringLiteral("&Abrir..."), this, [this] { Abrir1Click(); });
    Salvar1 = Arquivo1->addAction(QStringLiteral("&Salvar como..."), this, [this] { Salvar1Click(); });
    N2 = Arquivo1->addSeparator();
    Exportar1 = Arquivo1->addAction(QStringLiteral("&Exportar..."), this, [this] { Exportar1Click(); });
    N1 = Arquivo1->addSeparator();
    Sair1 = Arquivo1->addAction(QStringLiteral("S&air"), this, [this] { Sair1Click(); });

    Dados1 = bar->addMenu(QStringLiteral("A&quisição"));
    Iniciar1 = Dados1->addAction(QStringLiteral("&Iniciar"));
    Parar1 = Dados1->addAction(QStringLiteral("&Parar"));
    Limpar1 = Dados1->addAction(QStringLiteral("&Limpar"), this, [this] { Limpar1Click(); });

    Configurar1 = bar->addMenu(QStringLiteral("&Configurar"));
    Comunicao1 = Configurar1->addAction(QStringLiteral("&Comunicação..."), this, [this] { Comunicao1Click(); });
    Ajuda1 = bar->addMenu(QStringLiteral("A&juda"));
    Sobre1 = Ajuda1->addAction(QStringLiteral("&Sobre..."), this, [this] { Sobre1Click(); });
    // The service window is a single dialog: the top-level item opens it directly.
    Service1 = bar->addAction(QStringLiteral("Service"), this, [this] { Service1Click(); });
    Service1->setVisible(false);
}

QAction* TForm1::findTopItem(const QString& caption) const {
    for (QAction* a : menuBar()->actions())
        if (withoutAmpersands(a->text()).compare(withoutAmpersands(caption), Qt::CaseInsensitive) == 0)
            return a;
    return nullptr;
}

// ---- start and end --------------------------------------------------------------------------

void TForm1::FormCreate() {
    Parar1->setEnabled(false);
    N2->setVisible(false);
    if (QAction* m = findTopItem(QStringLiteral("Aquisição")))
        m->setVisible(false);

    const ses::StartupReport report = session_.startUp();
    for (const QString& failure : report.failures) {
        s_.messages.show(MsgKind::Error, failure);
        s_.messages.setAutoClose(true); // termination requested: later boxes close by themselves
    }
    terminate_ = !report.failures.isEmpty();
    if (!report.portOpened)
        tellPortFailed(session_.config().port);
    if (session_.config().debug)
        if (QAction* m = findTopItem(QStringLiteral("Service")))
            m->setVisible(true);
}

bool TForm1::FormCloseQuery() {
    if (session_.saved())
        return true;
    return s_.messages.askDestructive(MsgKind::Confirmation, kMsgUnsavedQuit, MsgButtons::YesCancel) ==
           MsgAnswer::Yes;
}

void TForm1::closeEvent(QCloseEvent* e) {
    // A close during a download asks to stop it first; the window closes when it has stopped,
    // asking as usual about what was read.
    if (downloading_) {
        e->ignore();
        if (!cancel_ && s_.messages.ask(MsgKind::Confirmation, ses::msg::DownloadCancelAsk, MsgButtons::YesNo) ==
                            MsgAnswer::Yes) {
            closePending_ = true;
            cancelDownload();
        }
        return;
    }
    if (terminate_ || FormCloseQuery())
        e->accept();
    else
        e->ignore();
}

void TForm1::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    channel_.closePort(channel_.port());
}

void TForm1::Sair1Click() { close(); }

// ---- grid -----------------------------------------------------------------------------------

bool TForm1::eventFilter(QObject* o, QEvent* e) {
    if (o == DBGrid1 && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Delete && (k->modifiers() & Qt::ControlModifier)) {
            deleteGridRow();
            return true;
        }
    }
    if ((o == Chart1 || o == Chart1->viewport()) && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
        AvaliarEnsaio1->setEnabled(shownTest().has_value());
        ChartMenu->popup(static_cast<QMouseEvent*>(e)->globalPosition().toPoint());
        return true;
    }
    return QMainWindow::eventFilter(o, e);
}

void TForm1::deleteGridRow() {
    const QModelIndex cur = DBGrid1->currentIndex();
    if (!cur.isValid())
        return;
    const auto row = model_->rowAt(cur.row());
    if (row < 0)
        return;
    if (s_.messages.ask(MsgKind::Confirmation, ses::msg::GridDeleteAsk, MsgButtons::OkCancel) !=
        MsgAnswer::Ok)
        return;
    // The measurements no longer equal a file they were saved to or opened from.
    session_.removeRow(row);
    std::vector<int> rows = model_->shown();
    std::erase(rows, row);
    for (int& r : rows)
        r -= r > row ? 1 : 0;
    model_->show(std::move(rows));
    // The row after the one deleted becomes the current one, or the last when it was the last.
    if (model_->rowCount() > 0)
        DBGrid1->selectRow(std::min(cur.row(), model_->rowCount() - 1));
}

// ---- test view ------------------------------------------------------------------------------

void TForm1::ComboBox1Change() {
    // The entry carries its test's number; a list in another order still shows the right test.
    // Entry i is test i of the data in hand; tests that share a number stay apart.
    const auto test = shownTest();
    showTest(test ? *test : acq::TestRun{-1, 1, {}});
}

void TForm1::showTest(const acq::TestRun& test) {
    TestView v = viewOf(session_.data(), test);
    model_->show(std::move(v.rows));
    // The view is left on the test's last row.
    if (model_->rowCount() > 0)
        DBGrid1->selectRow(model_->rowCount() - 1);
    LabelTMin->setText(v.minLabel);
    LabelTMax->setText(v.maxLabel);
    LabelTMin->adjustSize();
    LabelTMax->adjustSize();
    chart_.setPoints(std::move(v.interna), std::move(v.externa));
}

void TForm1::rebuildTestList() {
    ComboBox1->clear();
    for (const acq::TestRun& t : session_.tests())
        ComboBox1->addItem(t.caption(), t.number);
    ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
}

// ---- download -------------------------------------------------------------------------------

void TForm1::progressStart(int maximum, int step) {
    QMetaObject::invokeMethod(this, [this, maximum, step] {
        progressStepSize_ = step;
        FormLendo->ProgressBar1->setRange(0, maximum);
        FormLendo->ProgressBar1->setValue(0);
        FormLendo->Label1->setText(QStringLiteral("Lendo memória..."));
        FormLendo->show();
        FormLendo->raise();
        FormLendo->activateWindow();
    }, Qt::QueuedConnection);
}

void TForm1::progressStep() {
    QMetaObject::invokeMethod(this, [this] {
        QProgressBar* bar = FormLendo->ProgressBar1;
        bar->setValue(std::min(bar->maximum(), bar->value() + progressStepSize_));
    }, Qt::QueuedConnection);
}

void TForm1::progressEnd() {
    QMetaObject::invokeMethod(this, [this] { FormLendo->hide(); }, Qt::QueuedConnection);
}

void TForm1::cancelDownload() {
    if (!downloading_ || cancel_)
        return;
    cancel_ = true;
    FormLendo->Label1->setText(ses::msg::DownloadCancelling);
    FormLendo->Label1->adjustSize();
}

bool TForm1::mayReplaceData() {
    // Unsaved measurements are never replaced without the user's word.
    return session_.saved() ||
           s_.messages.askDestructive(MsgKind::Confirmation, kMsgUnsavedReplace, MsgButtons::YesCancel) == MsgAnswer::Yes;
}

bool TForm1::tell(const ses::Outcome& o) {
    using Sv = ses::Outcome::Severity;
    if (!o.text.isEmpty() && o.severity != Sv::None)
        s_.messages.showDetailed(o.severity == Sv::Information ? MsgKind::Information
                                 : o.severity == Sv::Warning   ? MsgKind::Warning
                                                               : MsgKind::Error,
                                 o.text, o.detail);
    return o.ok();
}

namespace {

// While the download runs the main window takes no input: clicks, keys and shortcuts meant
// for it are dropped. The progress window and any box shown meanwhile take theirs.
class MainWindowInputBlock : public QObject {
public:
    explicit MainWindowInputBlock(QWidget* main) : main_(main) { qApp->installEventFilter(this); }
    ~MainWindowInputBlock() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* o, QEvent* e) override {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu: {
            auto* w = qobject_cast<QWidget*>(o);
            return w && w->window() == main_;
        }
        case QEvent::Shortcut: return QApplication::activeModalWidget() == nullptr && !main_->isHidden() &&
                                      QApplication::activeWindow() == main_;
        default: return false;
        }
    }

private:
    QWidget* main_;
};

} // namespace

void TForm1::btnLerDadosClick() {
    if (downloading_ || !mayReplaceData())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    downloading_ = true;
    cancel_ = false;
    FormLendo->setCancellable(true);
    ses::Outcome r;
    {
        // The download runs on a thread of its own, so that this window stays painted and the
        // progress window moves; this handler waits for it in an event loop of its own.
        MainWindowInputBlock block(this);
        QEventLoop loop;
        QThread* const here = QThread::currentThread();
        std::unique_ptr<QThread> worker(QThread::create([this, &r, here] {
            r = session_.download(*this, &cancel_);
            s_.serial.useFromThread(here);
        }));
        connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        s_.serial.useFromThread(worker.get());
        worker->start();
        loop.exec();
        worker->wait();
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); // the progress window's last steps
    FormLendo->setCancellable(false);
    FormLendo->hide();
    downloading_ = false;
    QApplication::restoreOverrideCursor();
    if (session_.tableRecreated())
        rebuildTestList();
    const bool ok = r.ok();
    if (!ok && session_.tableRecreated()) {
        // What was shown belonged to the measurements that are gone: no entry is selected,
        // and the grid keeps the last test that was read to its end.
        ComboBox1->setCurrentIndex(-1);
        LabelTMin->clear();
        LabelTMax->clear();
        chart_.clear();
        const auto ended = session_.lastEndedTest();
        model_->show(ended ? viewOf(session_.data(), *ended).rows : std::vector<int>{});
    }
    // Closing after a cancel asked for on closing: the close says the rest.
    if (!(closePending_ && r.status == ses::Outcome::Status::Cancelled))
        tell(r);
    if (ok) {
        ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
        ComboBox1Change();
    }
    if (closePending_) {
        closePending_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

// ---- memory clear ---------------------------------------------------------------------------

void TForm1::btnLimparClick() {
    // Clearing the logger leaves the downloaded data as the only copy: said first when they
    // are not saved.
    if (!session_.saved() && !session_.data().rows().empty() &&
        s_.messages.askDestructive(MsgKind::Confirmation, ses::msg::ClearUnsaved, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    if (s_.messages.askDestructive(MsgKind::Confirmation, kMsgClearAsk, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    tell(session_.clearMemory());
}

void TForm1::Limpar1Click() { btnLimpar->click(); }

// ---- data files -----------------------------------------------------------------------------

void TForm1::Salvar1Click() {
    // An empty table would replace a file of measurements with nothing.
    if (session_.data().isEmpty()) {
        s_.messages.show(MsgKind::Information, kMsgNothingToSave);
        return;
    }
    FileDialogSpec opts{QStringLiteral("Salvar dados"), kDataFilter, QStringLiteral("dat"), true, {}};
    const QString path = files_.saveFile(opts);
    if (path.isEmpty())
        return;
    tell(session_.save(path));
}

void TForm1::Abrir1Click() {
    FileDialogSpec opts{QStringLiteral("Abrir dados"), kDataFilter, QStringLiteral("dat"), false, {}};
    const QString path = files_.openFile(opts);
    if (path.isEmpty())
        return;
    if (!mayReplaceData())
        return;
    // The table, the list and the view change only on success.
    DBGrid1->setUpdatesEnabled(false);
    ses::Outcome o = session_.open(path);
    // A file cut short: its whole tests, only with the user's yes.
    if (o.status == ses::Outcome::Status::Partial &&
        s_.messages.askDestructive(MsgKind::Confirmation, o.text + ses::msg::PartialFileAsk, MsgButtons::YesNo) == MsgAnswer::Yes)
        o = session_.open(path, ses::Session::WholeTestsOnly::Take);
    const bool ok = o.status == ses::Outcome::Status::Partial || tell(o);
    DBGrid1->setUpdatesEnabled(true);
    if (!ok || !o.ok())
        return;
    evaluationInputs.clear();
    rebuildTestList();
    ComboBox1Change();
}

// ---- dialogs --------------------------------------------------------------------------------

int TForm1::execDialog(QDialog& d) { return s_.dialogs.exec(d); }

void TForm1::Sobre1Click() { execDialog(*AboutBox); }

void TForm1::Service1Click() { execDialog(*FormService); }

void TForm1::Comunicao1Click() {
    FormComunicacao->select(channel_.port());
    FormComunicacao->showDevices(s_.ports);
    if (execDialog(*FormComunicacao) != QDialog::Accepted)
        return;
    const int index = FormComunicacao->selected();
    for (const ses::Outcome& o : session_.switchPort(index))
        if (o.status == ses::Outcome::Status::Communication)
            tellPortFailed(index); // the port did not open
        else
            tell(o);
}

void TForm1::tellPortFailed(int index) {
    // The cause under the message: the permissions when they are it, otherwise which device
    // the COM index means and whether it is there at all.
    const QString device = s_.ports.device(index);
    QString detail = portAccessDetail(device);
#ifdef Q_OS_UNIX
    const bool missing = !QFileInfo::exists(device); // a path under /dev
#else
    const bool missing = false; // a COM name is no file to look for
#endif
    if (detail.isEmpty())
        detail = (missing ? ses::msg::PortMissing : ses::msg::PortBusy).arg(index + 1).arg(QDir::toNativeSeparators(device));
    s_.messages.showDetailed(MsgKind::Warning, kMsgPortFailed, detail);
}

std::optional<acq::TestRun> TForm1::shownTest() const {
    const int i = ComboBox1->currentIndex();
    if (i < 0 || i >= session_.tests().size())
        return std::nullopt;
    return session_.tests()[i];
}

void TForm1::AvaliarEnsaioClick() {
    const auto test = shownTest();
    if (!test)
        return;
    const std::pair<qint64, int> n{test->number, test->occurrence};
    ses::EvaluationRequest in = evaluationInputs.count(n) ? evaluationInputs[n] : ses::EvaluationRequest{};
    // The energy equivalent last used; a new test starts from it.
    const ses::Settings settings = this->settings();
    if (!evaluationInputs.count(n) && settings.energyEquivalent)
        in.calorimetry.energyEquivalent = *settings.energyEquivalent;
    TFormAvaliacao d(session_.data(), *test, session_.dataFile(), in, files_, s_.messages, this);
    if (settings.energyEquivalent)
        d.setConfigEnergyEquivalent(*settings.energyEquivalent);
    // Determinations go to the lab's results database, as config.xml names it.
    d.setResults([this](QString* why) { return openResults(why); }, [this](QDialog& form) { return execDialog(form); },
                 settings.repeatability, settings.checkTolerance);
    execDialog(d);
    evaluationInputs[n] = d.inputs();
    // The W typed last is kept for the next test; a series' W stays the series'.
    if (const auto w = d.energyEquivalent(); w && *w > 0 && w != d.seriesEnergyEquivalent() &&
        QString::number(*w, 'f', 1) != configValue(QStringLiteral("EquivalenteEnergetico")))
        tell(session_.setConfigValue(QStringLiteral("EquivalenteEnergetico"), QString::number(*w, 'f', 1), false));
}

void TForm1::SalvarGraficoClick() {
    const QString path = files_.saveFile(FileDialogSpec{QStringLiteral("Salvar gráfico"),
                                                          QStringLiteral("Imagens PNG (*.png)|*.png"),
                                                          QStringLiteral("png"), true, {}});
    if (path.isEmpty())
        return;
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    Chart1->grab().save(&buf, "PNG");
    QString error;
    if (!acq::writeWholeFile(path, png, &error))
        s_.messages.show(MsgKind::Error, error);
}

QString TForm1::configValue(const QString& key) const { return session_.configValue(key); }

std::unique_ptr<rec::Store> TForm1::openResults(QString* why) const {
    const ses::Settings settings = session_.settings();
    if (!settings.problem.isEmpty()) {
        *why = settings.problem;
        return nullptr;
    }
    // A database that an earlier version kept elsewhere by default is not left behind unseen.
    if (settings.results.isEmpty() && !QFileInfo::exists(rec::defaultDatabasePath()))
        offerOldDatabase();
    return ses::openResults(settings.results, why, settings.reviewerRole);
}

void TForm1::offerOldDatabase() const {
    const QStringList old = rec::oldDefaultDatabases();
    if (old.isEmpty())
        return;
    const QString to = QDir::toNativeSeparators(rec::defaultDatabasePath());
    if (old.size() > 1) {
        QStringList shown;
        for (const QString& o : old)
            shown << QDir::toNativeSeparators(o);
        s_.messages.show(MsgKind::Warning, ses::msg::ManyOldDatabasesFound.arg(shown.join(QLatin1Char('\n')), to));
        return;
    }
    if (s_.messages.ask(MsgKind::Confirmation, ses::msg::MoveOldDatabase.arg(QDir::toNativeSeparators(old.front()), to),
                        MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    QString why;
    if (!rec::moveOldDatabase(old.front(), &why))
        s_.messages.show(MsgKind::Error, why);
}

ses::Settings TForm1::settings() const {
    const ses::Settings s = session_.settings();
    if (!s.warnings.isEmpty())
        s_.messages.show(MsgKind::Warning, s.warnings.join(QLatin1Char('\n')));
    return s;
}

void TForm1::AmostrasClick() {
    TFormAmostras w([this](QString* why) { return openResults(why); }, TFormAmostras::balanceOf(settings()), s_.messages,
                    files_, this);
    if (w.refresh())
        execDialog(w);
}

void TForm1::ResultadosClick() {
    TFormResultados w([this](QString* why) { return openResults(why); }, s_.messages, files_, this,
                      [this](QDialog& form) { return execDialog(form); }, settings().repeatability);
    w.setSamples([this] { AmostrasClick(); });
    w.setSigning(settings());
    if (w.refresh())
        execDialog(w);
}

// ---- export ---------------------------------------------------------------------------------

void TForm1::setUpExport() {
    TdtDataSetExport& x = dtDataSetExport1;
    configureMeasurementExport(x);
    // The rows the grid shows, in its order, are what is exported.
    x.Source = [this] { return std::make_unique<acq::MeasurementRows>(session_.data(), model_->shown()); };
    x.OnFileExist = [this](const QString& f, bool& can) { dtDataSetExport1FileExist(f, can); };
    x.OnEndExport = [this] { dtDataSetExport1EndExport(); };
    x.OnError = [this](TdtExportError e) { dtDataSetExport1Error(e); };
    // The save dialog, the error box and the viewer are the program's own.
    connectExportSeams(x, files_, s_.messages, s_.viewer, kMsgViewerFailed);
    x.setWindowsFactory(&s_.exportWindows);
}

void TForm1::Exportar1Click() {
    exportFailed_ = false;
    dtDataSetExport1.ChooseAndExport();
    dtDataSetExport1.FileName.clear(); // the next export to a file asks for a name again
}

void TForm1::dtDataSetExport1FileExist(const QString&, bool& canOverWrite) {
    if (s_.messages.ask(MsgKind::Confirmation, kMsgExportExists, MsgButtons::YesNo) == MsgAnswer::Yes) {
        canOverWrite = true;
    } else {
        canOverWrite = false;
        exportFailed_ = true;
    }
}

void TForm1::dtDataSetExport1EndExport() {
    if (exportFailed_)
        return;
    s_.messages.show(MsgKind::Information, kMsgExportOk);
    session_.markSaved();
}

void TForm1::dtDataSetExport1Error(TdtExportError e) {
    exportFailed_ = true;
    switch (e) {
    case xeNoFileName: s_.messages.show(MsgKind::Error, ses::msg::ExportNoFileName); break;
    case xeNoSource: s_.messages.show(MsgKind::Error, ses::msg::ExportNoSource); break;
    case xeSaveCancelled: s_.messages.show(MsgKind::Error, ses::msg::ExportCancelled); break;
    case xeOverwriteRefused:
    case xeExportFailed: break;
    }
}
