#include "convert/SoundFiles.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "convert/AudioConverter.h"

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

unsigned char Folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// -1, 0 or 1 as a sorts before, with or after b, ignoring case and the
// leading zeros of numbers. A digit run takes the place of its first digit
// against any other character, so the order stays transitive.
int CompareNatural(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            // Without leading zeros, the longer run is the larger number;
            // runs of one length compare digit by digit.
            if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
            const int digits = a.substr(i, endA - i).compare(b.substr(j, endB - j));
            if (digits != 0) return digits < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        const unsigned char ca = Folded(a[i]);
        const unsigned char cb = Folded(b[j]);
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string LowerExtension(const fs::path& p) {
    std::string ext = p.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    for (char& c : ext) c = static_cast<char>(Folded(c));
    return ext;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    const int order = CompareNatural(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool IsSoundFileName(const fs::path& p, bool convert) {
    const std::string ext = LowerExtension(p);
    if (ext == "wav" || ext == "aif" || ext == "aiff") return true;
    if (!convert || ext.empty()) return false;
    static const std::vector<std::string> convertible = ConvertibleExtensions();
    return std::binary_search(convertible.begin(), convertible.end(), ext);
}

bool ListSoundFiles(const fs::path& dir, bool convert, std::vector<fs::path>* out,
                    std::string* why) {
    // Each name taken once: a folder of 100,000 files sorts in a blink.
    std::vector<std::pair<std::string, fs::path>> found;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& path = it->path();
        std::string name = path.filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code typeError;
        // Follows links, so a link to a sound file counts and a dangling one
        // does not.
        if (!it->is_regular_file(typeError) || !IsSoundFileName(path, convert)) continue;
        found.emplace_back(std::move(name), path);
    }
    if (ec) {
        if (why != nullptr) *why = ec.message();
        return false;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
    if (out != nullptr) {
        out->clear();
        out->reserve(found.size());
        for (auto& [name, path] : found) out->push_back(std::move(path));
    }
    return true;
}

bool ListSoundFilesUnder(const std::string& dir, bool convert, std::vector<std::string>* out,
                         std::string* why, const std::atomic<bool>& cancelled) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        *why = ec ? ec.message() : "not a folder";
        return false;
    }
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        *why = ec.message();
        return false;
    }
    std::vector<std::pair<std::string, std::string>> found;  // below dir, whole path
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            *why = ec.message();
            return false;
        }
        if (cancelled) return false;
        const fs::path& path = it->path();
        if (path.filename().string().rfind('.', 0) == 0) {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        // is_regular_file follows a link to its file; a FIFO or device is
        // never a sound file here.
        if (!it->is_regular_file(ec) || !IsSoundFileName(path, convert)) continue;
        found.emplace_back(fs::relative(path, dir, ec).string(), path.string());
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
    out->clear();
    for (auto& [relative, whole] : found) out->push_back(std::move(whole));
    return true;
}
