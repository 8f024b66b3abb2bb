#pragma once

#include <QString>

// What keeps one login's guard apart from another's, in lowercase hexadecimal: the Windows
// session id, the real user id elsewhere. Empty when the system cannot tell.
QString sessionPart();
