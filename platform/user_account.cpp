#include "user_account.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {

// Calls use with the user's entry, or with null when there is none.
template <typename Use>
QString WithPasswordEntry(Use use) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return use(found);
}

}  // namespace

QString LogOnUserName() {
    return WithPasswordEntry([](const passwd* entry) {
        return entry != nullptr && entry->pw_name != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString();
    });
}

QString UserFullName() {
    return WithPasswordEntry(
        [](const passwd* entry) { return entry != nullptr ? FullNameFromGecos(entry->pw_gecos) : QString(); });
}

QString FullNameFromGecos(const char* gecos) {
    if (gecos == nullptr) return QString();
    return QString::fromUtf8(gecos).section(QLatin1Char(','), 0, 0).trimmed();
}

}  // namespace platform
