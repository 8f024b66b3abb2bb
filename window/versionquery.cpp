// The update button: check for a newer version, start its download, or cancel it.
#include "app/updatelog.h"
#include "download/downloadmanager.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"
#include "window/versionreply.h"
#include "window/versionservice.h"

#include <QCoreApplication>

void MainWindow::on_CUP_UpdateBtn_clicked()
{
    ui->errInfo->setText(QString());
    if (hasUpdate)
        startUpdateDownload();
    else if (!downloading)
        checkForUpdate();
    else
        cancelUpdateDownload();
}

void MainWindow::checkForUpdate()
{
    ui->CUP_UpdateBtn->setDisabled(true);
    const VersionReply reply = parseVersionReply(
        fetchVersionReply(downloadManager->networkManager(), versionServiceUrl()));

    switch (reply.outcome) {
    case VersionReply::InvalidJson:
        writeUpdateLog(QStringLiteral("JSON format err"));
        ui->errInfo->setText(tr("can not parse response"));
        break;
    case VersionReply::NullDocument:
        writeUpdateLog(QStringLiteral("root is null"));
        ui->errInfo->setText(tr("response is null"));
        break;
    case VersionReply::BadCode:
        ui->errInfo->setText(tr("code is: ") + QString::number(reply.code));
        break;
    case VersionReply::NoData:
        ui->errInfo->setText(tr("not contains data"));
        break;
    case VersionReply::NoUpdateInfo:
        ui->errInfo->setText(tr("not contains update info"));
        break;
    case VersionReply::UpdateInfo:
        ui->updateInfo->append(tr("Your app version is: ") + QString::number(appVersion));
        ui->updateInfo->append(tr("Latest app version is: ") +
                               QString::number(reply.latestVersion));
        if (appVersion >= qint64(reply.latestVersion)) {
            ui->CUP_UpdateBtn->setText(tr("Check Update"));
            ui->updateInfo->append(tr("There are currently no updates"));
        } else {
            ui->CUP_UpdateBtn->setText(tr("Download Update"));
            installerName = QStringLiteral("Glimmerpane") + QString::number(reply.latestVersion) +
                            QStringLiteral(".exe");
            updateAddress = reply.updateAddress;
            hasUpdate = true;
            ui->updateInfo->append(QStringLiteral("\n"));
            ui->updateInfo->append(reply.updateLog);
        }
        break;
    }
    finishCheck();
}

void MainWindow::finishCheck()
{
    if (dailyCheck) {
        if (hasUpdate)
            raiseWindow();
        else
            QCoreApplication::quit();
    }
    ui->CUP_UpdateBtn->setEnabled(true);
}

void MainWindow::startUpdateDownload()
{
    ui->updateInfo->append(tr("Downloading..."));
    if (updateAddress.isEmpty() || installerName.isEmpty()) {
        ui->CUP_UpdateBtn->setText(tr("Check Update"));
        downloading = false;
        hasUpdate = false;
        return;
    }
    writeUpdateLog(QStringLiteral("prepare to download update"));
    createUpdateFolder();
    downloadManager->startDownload(updateAddress, installerPath());
    connect(downloadManager, &DownLoadManager::signalDownloadProcess, this,
            &MainWindow::progressBarUpdate, Qt::UniqueConnection);
    connect(downloadManager, &DownLoadManager::signalReplyFinished, this,
            &MainWindow::downloadFinished, Qt::UniqueConnection);
    ui->CUP_UpdateBtn->setText(tr("Cancel"));
    downloading = true;
    hasUpdate = false;
}

void MainWindow::cancelUpdateDownload()
{
    downloadManager->cancelTransfer();
    ui->CUP_UpdateBtn->setText(tr("Check Update"));
    ui->progressBar->setValue(0);
    downloading = false;
    hasUpdate = false;
}

void MainWindow::downloadFailed()
{
    downloading = false;
    hasUpdate = false;
    ui->CUP_UpdateBtn->setText(tr("Check Update"));
    ui->CUP_UpdateBtn->setEnabled(true);
    ui->progressBar->setValue(0);
    ui->errInfo->setText(tr("Download failed"));
    writeUpdateLog(QStringLiteral("download failed"));
}
