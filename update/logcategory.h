#pragma once

#include <QLoggingCategory>

// Warnings of the update layer, to be filtered as "glimmerpane.update".
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
