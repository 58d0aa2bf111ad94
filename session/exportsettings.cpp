#include "session/exportsettings.h"

#include <QFileInfo>

void configureMeasurementExport(TdtDataSetExport& x) {
    x.setExportType(xtExcel);
    x.setExportTypes(typeBit(xtExcel));
    x.ExportStyle = xsView;
    x.DateFormat = QStringLiteral("d/M/yyyy");
    x.TimeFormat = QStringLiteral("hh:mm");
    x.DateTimeFormat = QStringLiteral("hh:mm d/M/yyyy");
    x.Options = opt(xoClipboardMessage) | opt(xoFooterLine) | opt(xoHeaderLine) | opt(xoShowExportDate) |
                opt(xoShowHeader) | opt(xoShowProgress) | opt(xoUseAlignments);
    x.TruncateSymbol = QStringLiteral("...");
    x.setRowNumberFormat(QStringLiteral("%d"));
    x.EXCEL.Options = reSetMargins | reUseBorders;
    x.EXCEL.ColumnWidth = 20;
    x.EXCEL.Protected = false;
    x.EXCEL.Header.clear();
    x.EXCEL.Footer = QStringLiteral("&P");
    x.EXCEL.DefaultFont = TdtFont{};
    x.EXCEL.TableFont = TdtFont{};
    x.EXCEL.HeaderFont = TdtFont{};
    x.EXCEL.HeaderFont.bold = true;
    x.EXCEL.TopMargin = x.EXCEL.BottomMargin = x.EXCEL.LeftMargin = x.EXCEL.RightMargin = 0.3;
    TdtMessagesOptions& m = x.Messages;
    m.Caption = QStringLiteral("Exportando os dados");
    m.CopiedToClipboard = QStringLiteral("Dados copiados para a área de transferência");
    m.CancelCaption = QStringLiteral("&Cancela");
    m.CreatedText = QStringLiteral("Criado:");
    m.ExportCaption = QStringLiteral("&Exporta");
    m.ExportToFile = QStringLiteral("&Exporta");
    m.FalseText = QStringLiteral("Falso");
    m.TrueText = QStringLiteral("Verdadeiro");
    m.SaveTitle = QStringLiteral("Salvar documento");
    m.SelectFormat = QStringLiteral("&Formato");
    m.Text = QStringLiteral("Processando...");
    m.ViewOnly = QStringLiteral("&Visualizar");
    m.Width = 300;
    m.Height = 80;
    m.DocumentFilter = {QStringLiteral("Documento HTML"), QStringLiteral("Arquivos do Microsoft Excel"),
                        QStringLiteral("Documento do Word"), QStringLiteral("Arquivo de texto"),
                        QStringLiteral("CSV (Delimitado por vírgulas)"),
                        QStringLiteral("Texto (Delimitado por tabulações)"), QStringLiteral("Rich Text Format"),
                        QStringLiteral("Data Interchange Format"), QStringLiteral("Arquivos SYLK")};
}

bool writeSpreadsheet(const acq::RowSource& rows, const QString& path, bool anySuffix, QString* error) {
    TdtDataSetExport x;
    configureMeasurementExport(x);
    x.DataSet = &rows;
    x.ExportStyle = xsFile;
    x.FileName = path;
    const QString suffix = QFileInfo(path).suffix();
    if (anySuffix || suffix.compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0)
        x.OnGetExtension = [suffix](QString& ext) { ext = suffix; };
    bool failed = false;
    x.OnError = [&](TdtExportError) { failed = true; };
    x.RunExport();
    if (failed && error)
        *error = x.lastFailure();
    return !failed;
}
