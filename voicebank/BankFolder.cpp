#include "voicebank/BankFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

}  // namespace

bool EnsureBankFolder(const fs::path& folder, bool* made, std::string* why) {
    if (made != nullptr) *made = false;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0) return true;
    // Default permissions, narrowed by the umask. EEXIST: it appeared meanwhile.
    if (::mkdir(folder.c_str(), 0777) == 0) {
        if (made != nullptr) *made = true;
        return true;
    }
    const int error = errno;
    if (error == EEXIST) return true;
    std::error_code ec;
    const fs::path parent = folder.parent_path();
    if (error == ENOENT && !parent.empty() && !fs::is_directory(parent, ec)) {
        std::string text = "folder ";
        text += parent.string();
        text += " does not exist";
        return Fail(why, std::move(text));
    }
    std::string text = "cannot create folder ";
    text += folder.string();
    text += ": ";
    text += std::generic_category().message(error);
    return Fail(why, std::move(text));
}

bool MakeFolderPath(const fs::path& folder, std::string* why) {
    std::error_code ec;
    (void)fs::create_directories(folder, ec);
    std::error_code statError;
    if (fs::is_directory(folder, statError)) return true;
    // The nearest part of the path that stands there but is no folder.
    for (fs::path part = folder; !part.empty() && part != part.root_path();
         part = part.parent_path()) {
        const fs::file_status status = fs::symlink_status(part, statError);
        if (fs::exists(status) && !fs::is_directory(fs::status(part, statError))) {
            std::string text = part.string();
            text += " is a file, not a folder";
            return Fail(why, std::move(text));
        }
    }
    return Fail(why, ec ? ec.message() : std::string("it is not a folder"));
}

bool SomethingStandsAt(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return true;
    }
    // Nothing can stand where the path leads nowhere or cannot be named.
    return errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG;
}
