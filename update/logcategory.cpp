#include "update/logcategory.h"

Q_LOGGING_CATEGORY(lcUpdate, "glimmerpane.update")
