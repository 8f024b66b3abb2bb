// How a run ends: the installer start, the start-up check and the close guard.
#include "app/updatelog.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

void MainWindow::downloadFinished(int)
{
    downloading = false;
    hasUpdate = false;
    ui->CUP_UpdateBtn->setText(tr("Installing"));
    ui->CUP_UpdateBtn->setDisabled(true);
    startInstaller();
    QCoreApplication::quit();
}

bool MainWindow::startInstaller()
{
    const QString path = installerPath();
    if (!QFileInfo(path).isFile()) {
        writeUpdateLog(QStringLiteral("install file %1 not exist").arg(installerName));
        return false;
    }
#ifndef Q_OS_WIN
    // A downloaded file is not executable here until its owner may run it.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
#endif
    const bool started = QProcess::startDetached(path, QStringList(), QString());
    writeUpdateLog(started ? QStringLiteral("install start success")
                           : QStringLiteral("install start failed"));
    return started;
}

void MainWindow::startupCheck()
{
    if (appVersion != 0) {
        ui->CUP_UpdateBtn->click();
        return;
    }
    if (dailyCheck)
        QCoreApplication::quit();

    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("Glimmerpane ") + tr("Update"));
    box.setText(tr("We do not receive app version, you need start this program from Glimmerpane"));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setModal(true);
    box.button(QMessageBox::Ok)->setText(tr("Ok"));
    box.exec();
    QCoreApplication::quit();
}

void MainWindow::closeGuard()
{
    if (!downloading) {
        QCoreApplication::quit();
        return;
    }
    QMessageBox box;
    box.setText(tr("You are downloading update, are you sure exit?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::No)->setText(tr("No"));
    box.button(QMessageBox::Yes)->setText(tr("Yes"));
    if (box.exec() == QMessageBox::Yes)
        QCoreApplication::quit();
}
