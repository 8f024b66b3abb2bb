#pragma once

#include <QString>

// What keeps one login's guard apart from another's, in lowercase hexadecimal: the Windows
// session id ("0" when Windows cannot tell), the real user id elsewhere.
QString sessionPart();
