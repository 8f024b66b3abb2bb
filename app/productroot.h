#pragma once

#include <QString>

// The folder below which the product keeps "Glimmerpane/log" and "Glimmerpane/update".
// On Windows the drive root "C:/"; elsewhere the user's data folder, created when missing.
QString productRoot();

// "<root>/Glimmerpane/update/", with the trailing separator.
QString updateFolderPath();
