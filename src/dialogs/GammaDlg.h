// The gamma coefficient dialog: one number between 0.3 and 3.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class CGammaDlg : public QDialog {
    Q_OBJECT

public:
    explicit CGammaDlg(QWidget* parent = nullptr);

    // OK: the edit must hold a number from 0.3 to 3; otherwise the dialog stays open.
    void accept() override;

    // The coefficient shown when the dialog opens and, after OK, the one entered.
    double m_dGamma = 1.0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_edit = nullptr;
    bool m_initialised = false;
};

namespace ocu {

// The family the gamma dialog's Chinese texts are set in: "宋体" where it is installed, otherwise a Chinese
// face of the same kind from the installed ones (fonts-noto-cjk's serif, then its sans), otherwise any face
// for Simplified Chinese. Empty when there is none.
QString GammaDialogFontFamily();

} // namespace ocu
