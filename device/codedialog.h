// The access-code window that guards the advanced parameter dialog. It only asks; the main
// window checks the code.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kv {
// The access code, compared exactly (case and blanks count).
constexpr const char* kAccessCode = "739";
inline bool isAccessCode(const QString& code) { return code == QLatin1String(kAccessCode); }
}  // namespace kv

class CodeDialog : public QDialog {
    Q_OBJECT
public:
    explicit CodeDialog(QWidget* parent = nullptr);

    QLabel* codelabel = nullptr;
    QLineEdit* lineEdit = nullptr;
    QPushButton* pushButton_ok = nullptr;
    QPushButton* pushButton_cancel = nullptr;

signals:
    void sendCode(QString code);

public slots:
    void onOKClick();
    void onCancelClick();

protected:
    // Every way the dialog goes away (its buttons, Esc, the title bar's close, hide()) empties
    // the code field, so the next opening starts blank.
    void hideEvent(QHideEvent* event) override;

private:
    void setupUi();
    void retranslateUi();
};
