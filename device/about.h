// The About window: the application's name and version, and the firmware version of the
// sensor's master panel as its status packets report it.
#pragma once

#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QSpacerItem;
class QVBoxLayout;

class About : public QWidget {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);

    QVBoxLayout* verticalLayout = nullptr;
    QLabel* label = nullptr;
    QLabel* label_2 = nullptr;
    QLabel* label_3 = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QLabel* label_label_Master_Panel_Version = nullptr;
    QLabel* label_Version_Display = nullptr;
    QSpacerItem* horizontalSpacer = nullptr;

public slots:
    void displayMasterPanelVersion(QString value);

private:
    void setupUi();
    void retranslateUi();
};
