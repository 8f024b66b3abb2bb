#include "core/logcategory.h"

Q_LOGGING_CATEGORY(lcCore, "glimmerpane.core")
