#include "window/proxylogindialog.h"

#include "appearance/mytheme.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// Texts in the window's one translation context.
ProxyLoginDialog::ProxyLoginDialog(const QString &proxyHost, QWidget *parent)
    : QDialog(parent), userEdit(new QLineEdit(this)), passwordEdit(new QLineEdit(this))
{
    setObjectName(QStringLiteral("proxyLogin"));
    setWindowTitle(QStringLiteral("Glimmerpane ") +
                   QCoreApplication::translate("MainWindow", "Proxy Login"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    userEdit->setAccessibleName(QCoreApplication::translate("MainWindow", "User name"));
    passwordEdit->setAccessibleName(QCoreApplication::translate("MainWindow", "Password"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)
        ->setText(QCoreApplication::translate("MainWindow", "Log In"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("MainWindow", "Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QFormLayout(this);
    auto *prompt = new QLabel(
        QCoreApplication::translate("MainWindow", "The proxy %1 asks for a user name and password.")
            .arg(proxyHost),
        this);
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    layout->addRow(prompt);
    layout->addRow(QCoreApplication::translate("MainWindow", "User name"), userEdit);
    layout->addRow(QCoreApplication::translate("MainWindow", "Password"), passwordEdit);
    layout->addRow(buttons);
    if (MyTheme *themes = MyTheme::instance())
        themes->applyTheme(this, &theme);
    userEdit->setFocus();
}

QString ProxyLoginDialog::user() const
{
    return userEdit->text();
}

QString ProxyLoginDialog::password() const
{
    return passwordEdit->text();
}
