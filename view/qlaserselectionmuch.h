// The "Chanel" window: which laser lines the frame display shows. The boxes only propose a
// selection; OK applies it.
#pragma once

#include <QWidget>
#include <array>

class QCheckBox;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class QHBoxLayout;

class QLaserSelectionMuch : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLines = 4;
    // `rowCount` line rows are offered (clamped to 1-4).
    explicit QLaserSelectionMuch(int rowCount, QWidget* parent = nullptr);

    // Whether line 0-3 is shown; any other line never is.
    bool isLineShown(int line) const;
    int rows() const { return rowCount; }
    QCheckBox* lineBox(int line) const { return lineBoxes[std::size_t(line)]; }

    QVBoxLayout* verticalLayout = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
    QCheckBox* checkBox = nullptr;
    QPushButton* pushButton_toggleselection = nullptr;
    QTableWidget* tableWidget_laserselection = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QPushButton* pushButton_OK = nullptr;
    QPushButton* pushButton_Cancel = nullptr;

public slots:
    void onCancel_Clicked();
    void onOk_Clicked();
    void Checkstate();
    void Parity();

private:
    void setupUi();
    void retranslateUi();

    std::array<int, kLines> selected{};
    std::array<int, kLines> lineIndex{};
    int rowCount = 1;
    bool toggleFlag = false;
    std::array<QCheckBox*, kLines> lineBoxes{};
};
