#include "engine/DeviceBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The files OpenAL Soft 1.19 reads its configuration from, in its order.
std::vector<std::string> UserConfigFiles() {
    std::vector<std::string> files = {"/etc/openal/alsoft.conf"};
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string list = dirs != nullptr && *dirs != '\0' ? dirs : "/etc/xdg";
    for (size_t at = 0; at <= list.size();) {
        const size_t end = std::min(list.find(':', at), list.size());
        if (end > at) files.push_back(list.substr(at, end - at) + "/alsoft.conf");
        at = end + 1;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') files.push_back(std::string(home) + "/.alsoftrc");
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && *configHome != '\0') {
        files.push_back(std::string(configHome) + "/alsoft.conf");
    } else if (home != nullptr && *home != '\0') {
        files.push_back(std::string(home) + "/.config/alsoft.conf");
    }
    return files;
}

bool AnyUserFileSetsBuffer() {
    for (const std::string& path : UserConfigFiles()) {
        std::ifstream file(path);
        if (!file) continue;
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        if (SetsDeviceBuffer(text.c_str())) return true;
    }
    return false;
}

}  // namespace

bool SetsDeviceBuffer(const char* text) {
    for (const char* line = text; *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        if (end == nullptr) end = line + std::strlen(line);
        const char* at = line;
        while (at < end && std::isspace(static_cast<unsigned char>(*at))) ++at;
        size_t length = 0;
        while (at + length < end && (std::isalnum(static_cast<unsigned char>(at[length])) ||
                                     at[length] == '_' || at[length] == '-'))
            ++length;
        const std::string key(at, length);
        const char* rest = at + length;
        while (rest < end && (*rest == ' ' || *rest == '\t')) ++rest;
        if ((key == "period_size" || key == "periods") && rest < end && *rest == '=') return true;
        line = *end == '\0' ? end : end + 1;
    }
    return false;
}

void AskForShortDeviceBuffer() {
    if (std::getenv("ALSOFT_CONF") != nullptr || AnyUserFileSetsBuffer()) return;
    const std::string text = "[general]\nperiod_size = " + std::to_string(ShortPeriodFrames) +
                             "\nperiods = " + std::to_string(ShortPeriods) + "\n";
    // Held in memory for the process's life, and open in child processes
    // too, which the environment points at it as well.
    const int fd = memfd_create("gridlume-alsoft.conf", 0);
    if (fd < 0) return;
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        close(fd);
        return;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    setenv("ALSOFT_CONF", path.c_str(), 0);
}
