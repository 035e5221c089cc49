#include "core/UserData.h"

#include <cstdlib>

std::string UserDataFolder() {
    std::string home;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        home = data;
    } else if (const char* user = std::getenv("HOME"); user != nullptr && user[0] == '/') {
        home = user;
        home += "/.local/share";
    } else {
        return {};
    }
    home += '/';
    home += UserDataSubfolder;
    return home;
}
