#pragma once

#include <QLoggingCategory>

// Warnings of the appearance layer, to be filtered as "glimmerpane.appearance".
Q_DECLARE_LOGGING_CATEGORY(lcAppearance)
