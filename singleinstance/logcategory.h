#pragma once

#include <QLoggingCategory>

// Warnings of the single-instance guard, to be filtered as "glimmerpane.singleinstance".
Q_DECLARE_LOGGING_CATEGORY(lcSingleInstance)
