#pragma once

#include <QDialog>

class QLineEdit;

// Asks for the user name and password of an authenticating proxy, in the window's language and
// look. What is typed stays in this object and goes only to the caller; nothing is stored.
class ProxyLoginDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyLoginDialog)

public:
    ProxyLoginDialog(const QString &proxyHost, QWidget *parent);

    QString user() const;
    QString password() const;

private:
    QLineEdit *userEdit;
    QLineEdit *passwordEdit;
    int theme = -1;
};
