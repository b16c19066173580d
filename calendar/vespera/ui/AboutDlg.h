#pragma once

#include <QDialog>

// The about box: the agent's name, icon and version, and where its help is.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
