#pragma once

#include <QString>

// The user running the program, from the password database.
namespace platform {

// The login name; "" when the database has no entry for the user.
QString LogOnUserName();

// The full name (the first field of the comment field); "" when none is
// recorded.
QString UserFullName();

// The comment field's first field, as the password database stores it
// ("Ada Lovelace,Room 1,..." gives "Ada Lovelace").
QString FullNameFromGecos(const char* gecos);

}  // namespace platform
