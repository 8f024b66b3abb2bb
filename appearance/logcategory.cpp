#include "appearance/logcategory.h"

Q_LOGGING_CATEGORY(lcAppearance, "glimmerpane.appearance")
