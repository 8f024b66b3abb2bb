#include "singleinstance/logcategory.h"

Q_LOGGING_CATEGORY(lcSingleInstance, "glimmerpane.singleinstance")
