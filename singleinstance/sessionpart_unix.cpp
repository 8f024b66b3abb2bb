#include "singleinstance/sessionpart.h"

#include <unistd.h>

QString sessionPart()
{
    return QString::number(::getuid(), 16);
}
