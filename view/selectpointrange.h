// The "SelectPointRange" window: the selection box typed as X, Y and Z ranges.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

class SelectPointRange : public QWidget {
    Q_OBJECT
public:
    explicit SelectPointRange(QWidget* parent = nullptr);

    // The six values in the order x min, x max, y min, y max, z min, z max.
    void setValues(const double values[6]);  // also fills the fields ('g', 6 digits)
    const double* values() const { return values_; }

    QLabel* label_X = nullptr;
    QLineEdit* lineEdit_Xmin = nullptr;
    QLineEdit* lineEdit_Xmax = nullptr;
    QLabel* label_Y = nullptr;
    QLineEdit* lineEdit_Ymin = nullptr;
    QLineEdit* lineEdit_Ymax = nullptr;
    QLabel* label_Z = nullptr;
    QLineEdit* lineEdit_Zmin = nullptr;
    QLineEdit* lineEdit_Zmax = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

signals:
    void sendOkCliced();

public slots:
    void okButton_clicked();
    void cancelButton_clicked();

private:
    void setupUi();
    void retranslateUi();
    QLineEdit* field(int i) const;

    double values_[6] = {0, 0, 0, 0, 0, 0};
};
