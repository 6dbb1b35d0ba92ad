// Renaming a bad library file aside.
#include "library/library_aside.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) || error;  // unknown: taken
}

std::tm LocalTime(std::time_t now) {
    std::tm local = {};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

}  // namespace

std::string AsideName(const std::string& path, std::time_t now) {
    std::tm local = LocalTime(now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, ".bad-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string name = path + stamp;
    for (int n = 2; Exists(name) || Exists(name + "-wal") || Exists(name + "-shm"); ++n) {
        name = path + stamp + "-" + std::to_string(n);
    }
    return name;
}

std::string MoveAside(const std::string& path, std::time_t now) {
    std::string aside = AsideName(path, now);
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    if (error) {
        return "";
    }
    // A journal left beside a new file would be taken as its own.
    for (const char* suffix : {"-wal", "-shm"}) {
        if (std::filesystem::exists(path + suffix, error)) {
            std::filesystem::rename(path + suffix, aside + suffix, error);
        }
    }
    return aside;
}
