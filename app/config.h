#pragma once
// TFormComunicacao: the choice of the logger's serial port, COM1 … COM4.
#include <QDialog>

namespace lnk {
class PortMap;
}

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TFormComunicacao : public QDialog {
    Q_OBJECT
public:
    explicit TFormComunicacao(QWidget* parent = nullptr);
    /// Selects item `index`; above 3 selects "COM4", below 0 selects nothing.
    void select(int index);
    /// The selected item's position, or -1.
    int selected() const;
    /// Beside each COM index, the device it means (config.xml's COMn rows) and whether it is
    /// there now.
    void showDevices(const lnk::PortMap& ports);

    QGroupBox* RadioGroup1;
    QRadioButton* items[4];
    QLabel* devices[4];
    QPushButton* Button1;
    QPushButton* Button2;

private:
    QButtonGroup* group_;
};
