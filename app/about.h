#pragma once
// TAboutBox: what the program is, and its version.
#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Label1;
    QLabel* Version;
    QLabel* details[4];
    QPushButton* OKButton;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

/// Registers the program's pictures (they live in a static library).
void initAppResources();
