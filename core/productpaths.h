#pragma once

#include <QString>
#include <QStringList>

// Where the product keeps its files: "<root>Glimmerpane/log/update.log" and
// "<root>Glimmerpane/update/". The root is the drive root "C:/" on Windows and the user's data
// folder elsewhere. Every path ends in "/" when it names a folder.
QString productRoot();
QString updateLogPath();
QString updateFolderPath();

// The levels below the root, for makeFolderLevels.
QStringList logFolderLevels();
QStringList updateFolderLevels();

// Walks down from `base` through `levels`, making each missing level with one mkdir (never a
// whole path at once, so nothing is made beside a plain file in the way). Returns how many
// levels exist afterwards, counted up to the first that could not be made or entered.
int makeFolderLevels(const QString &base, const QStringList &levels);
