#pragma once

#include <QLoggingCategory>

// Warnings of the core layer, to be filtered as "glimmerpane.core".
Q_DECLARE_LOGGING_CATEGORY(lcCore)
