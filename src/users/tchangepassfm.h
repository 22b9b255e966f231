// Tchangepassfm is the password change window "更改密码"; the shop's documents fix the name (docs/names.md).
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class Tdmfm;

// The password change window "更改密码": a chosen user's password is changed
// when the old one is given correctly and the new one twice alike. Not modal;
// it deletes itself when closed.
class Tchangepassfm final : public QWidget
{
    Q_OBJECT
public:
    explicit Tchangepassfm(Tdmfm& dm, QWidget* parent = nullptr);

    QComboBox* userList() const { return m_user; }
    QLineEdit* oldPasswordBox() const { return m_old; }
    QLineEdit* newPasswordBox() const { return m_new; }
    QLineEdit* repeatBox() const { return m_repeat; }
    QCheckBox* closeAfterChange() const { return m_closeAfter; }
    QPushButton* changeButton() const { return m_change; }
    QPushButton* quitButton() const { return m_quit; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    // "更改密码"
    void onChangeClicked();

private:
    Tdmfm& m_dm;
    QComboBox* m_user;
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_repeat;
    QCheckBox* m_closeAfter;
    QPushButton* m_change;
    QPushButton* m_quit;
    bool m_listed = false;
};
