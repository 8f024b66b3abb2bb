#pragma once

#include <QString>

// Opens "<root>/Glimmerpane/log/update.log" for appending, never through a link, after setting
// aside one that has grown past its limit; problems go to qDebug only.
void openUpdateLog();

// Appends one time-stamped line and flushes it; does nothing while the log is closed.
void writeUpdateLog(const QString &message);

// Creates the product and log folders, one level per step.
void ensureLogFolders();
