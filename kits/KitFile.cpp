#include "kits/KitFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <utility>

namespace {

using Opcodes = std::vector<std::pair<std::string, std::string>>;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == tail;
}

// A whole decimal number, optional sign, nothing after it.
bool ParseInteger(std::string_view text, int64_t* value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// A plain decimal ("-6", "0.5", "+3."), no exponent, a finite value.
bool ParseNumber(std::string_view text, double* value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 40) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-')) return false;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), *value, std::chars_format::fixed);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(*value);
}

// A MIDI note as a number (0 ... 127) or a name: c4 is 60, c#4 61, db4 61,
// c-1 0.
bool ParseNote(std::string_view text, int* note) {
    text = Trim(text);
    int64_t number = 0;
    if (ParseInteger(text, &number)) {
        if (number < 0 || number > 127) return false;
        *note = static_cast<int>(number);
        return true;
    }
    if (text.empty()) return false;
    static constexpr int Steps[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    const char letter = static_cast<char>(Lower(text.substr(0, 1))[0]);
    if (letter < 'a' || letter > 'g') return false;
    int value = Steps[letter - 'a'];
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '#') {
        ++value;
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == 'b') {
        --value;
        text.remove_prefix(1);
    }
    int64_t octave = 0;
    if (!ParseInteger(text, &octave) || octave < -1 || octave > 9) return false;
    const int64_t result = (octave + 1) * 12 + value;
    if (result < 0 || result > 127) return false;
    *note = static_cast<int>(result);
    return true;
}

void NameOnce(std::vector<std::string>* names, std::string name) {
    if (std::find(names->begin(), names->end(), name) == names->end())
        names->push_back(std::move(name));
}

// A kit's sample path as the file system takes it: either slash, relative
// paths from the kit's folder.
std::string ResolveSample(const std::string& folder, std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!path.empty() && path.front() == '/') return path;
    if (folder.empty()) return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

const std::string* Find(const std::map<std::string, std::string>& opcodes, const char* name) {
    const auto it = opcodes.find(name);
    return it == opcodes.end() ? nullptr : &it->second;
}

// --- SFZ ---

// What a region's opcodes say, the ones no row carries named in contents.
void TakeSfzRegion(const std::map<std::string, std::string>& op, const std::string& folder,
                   const std::string& defaultPath, KitContents* contents) {
    auto uncarried = [&](const std::string& name) { NameOnce(&contents->uncarried, name); };
    const std::string* sample = Find(op, "sample");
    if (sample == nullptr || sample->empty()) {
        uncarried("region without sample");
        return;
    }
    if (sample->front() == '*') {
        uncarried("sample=" + *sample);
        return;
    }
    KitRegion region;
    region.shown = *sample;
    // default_path goes before a relative sample only.
    const bool absolute = sample->front() == '/' || sample->front() == '\\';
    region.sample = ResolveSample(folder, absolute ? *sample : defaultPath + *sample);
    int lo = 0;
    int hi = 127;
    int keycenter = 60;
    int keytrack = 100;
    double transpose = 0;
    double tune = 0;
    for (const auto& [name, value] : op) {
        int note = 0;
        int64_t number = 0;
        double real = 0;
        bool taken = true;
        if (name == "sample" || name == "global_label" || name == "master_label" ||
            name == "group_label" || name == "region_label") {
        } else if (name == "key") {
            if ((taken = ParseNote(value, &note))) lo = hi = keycenter = note;
        } else if (name == "lokey") {
            if ((taken = ParseNote(value, &note))) lo = note;
        } else if (name == "hikey") {
            if ((taken = ParseNote(value, &note))) hi = note;
        } else if (name == "pitch_keycenter") {
            if ((taken = ParseNote(value, &note))) keycenter = note;
        } else if (name == "pitch_keytrack") {
            if ((taken = ParseInteger(value, &number) && number >= -1200 && number <= 1200))
                keytrack = static_cast<int>(number);
        } else if (name == "offset") {
            if ((taken = ParseInteger(value, &number) && number >= 0)) region.offset = number;
        } else if (name == "end") {
            if ((taken = ParseInteger(value, &number) && number > 0)) region.end = number;
        } else if (name == "volume") {
            if ((taken = ParseNumber(value, &real) && real >= -144 && real <= 48)) {
                region.hasVolume = true;
                region.volumeDb = real;
            }
        } else if (name == "transpose") {
            if ((taken = ParseInteger(value, &number) && number >= -127 && number <= 127))
                transpose = static_cast<double>(number);
        } else if (name == "tune") {
            if ((taken = ParseInteger(value, &number) && number >= -9600 && number <= 9600))
                tune = static_cast<double>(number);
        } else if (name == "loop_mode") {
            taken = value == "one_shot" || value == "no_loop";
        } else if (name == "amp_veltrack") {
            taken = ParseNumber(value, &real) && real == 100;
        } else if (name == "trigger") {
            taken = value == "attack";
        } else if (name == "lovel") {
            taken = ParseInteger(value, &number) && number <= 1;
        } else if (name == "hivel") {
            taken = ParseInteger(value, &number) && number == 127;
        } else {
            taken = false;
        }
        if (!taken) uncarried(name);
    }
    if (lo > hi || (region.end >= 0 && region.end < region.offset)) {
        uncarried(lo > hi ? "lokey" : "end");
        if (lo > hi) lo = hi = -1;
        if (region.end >= 0 && region.end < region.offset) region.end = -1;
    }
    if (lo == hi && lo >= 0) {
        region.key = lo;
        region.pitchSemitones = (lo - keycenter) * keytrack / 100.0;
    }
    region.pitchSemitones += transpose + tune / 100.0;
    contents->regions.push_back(std::move(region));
}

// The SFZ text with comments taken out and each #define's $NAME replaced,
// line by line; #include is named as not followed.
std::vector<std::string> SfzLines(std::string_view text, KitContents* contents) {
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, std::string>> defines;  // longest name first
    bool inBlock = false;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view raw = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        std::string line;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (inBlock) {
                if (raw.compare(i, 2, "*/") == 0) {
                    inBlock = false;
                    ++i;
                }
                continue;
            }
            if (raw.compare(i, 2, "/*") == 0) {
                inBlock = true;
                ++i;
                continue;
            }
            if (raw.compare(i, 2, "//") == 0) break;
            line += raw[i];
        }
        const std::string_view trimmed = Trim(line);
        if (trimmed.rfind("#define", 0) == 0) {
            std::string_view rest = Trim(trimmed.substr(7));
            size_t nameEnd = 0;
            while (nameEnd < rest.size() && !IsBlank(rest[nameEnd])) ++nameEnd;
            std::string name(rest.substr(0, nameEnd));
            if (name.size() < 2 || name.front() != '$') {
                NameOnce(&contents->uncarried, "#define");
                continue;
            }
            std::string value(Trim(rest.substr(nameEnd)));
            std::erase_if(defines, [&](const auto& d) { return d.first == name; });
            defines.emplace_back(std::move(name), std::move(value));
            std::stable_sort(defines.begin(), defines.end(), [](const auto& a, const auto& b) {
                return a.first.size() > b.first.size();
            });
            continue;
        }
        if (trimmed.rfind("#include", 0) == 0) {
            NameOnce(&contents->uncarried, "#include");
            continue;
        }
        // Each $NAME once, left to right: a value holding $NAME is not read again.
        std::string replaced;
        for (size_t i = 0; i < line.size();) {
            bool hit = false;
            if (line[i] == '$') {
                for (const auto& [name, value] : defines) {
                    if (line.compare(i, name.size(), name) == 0) {
                        replaced += value;
                        i += name.size();
                        hit = true;
                        break;
                    }
                }
            }
            if (!hit) replaced += line[i++];
        }
        lines.push_back(std::move(replaced));
    }
    return lines;
}

bool IsOpcodeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Where the opcode after position from begins ("  key=60"): the start of a
// run of opcode characters followed by '=', after a blank; npos for none.
size_t NextOpcode(const std::string& line, size_t from) {
    for (size_t i = from; i < line.size(); ++i) {
        if (line[i] == '<') return i;
        if (!IsBlank(line[i]) || i + 1 >= line.size() || !IsOpcodeChar(line[i + 1])) continue;
        size_t j = i + 1;
        while (j < line.size() && IsOpcodeChar(line[j])) ++j;
        if (j < line.size() && line[j] == '=') return i + 1;
    }
    return std::string::npos;
}

}  // namespace

bool ParseKitFormat(std::string_view text, KitFormat* format) {
    if (text == "sfz")
        *format = KitFormat::Sfz;
    else if (text == "dspreset")
        *format = KitFormat::Dspreset;
    else if (text == "wav")
        *format = KitFormat::Wav;
    else
        return false;
    return true;
}

std::string_view KitExtension(KitFormat format) {
    switch (format) {
    case KitFormat::Sfz: return ".sfz";
    case KitFormat::Dspreset: return ".dspreset";
    case KitFormat::Wav: break;
    }
    return {};
}

bool IsKitFileName(std::string_view path, KitFormat* format) {
    for (const KitFormat f : {KitFormat::Sfz, KitFormat::Dspreset}) {
        const std::string_view ext = KitExtension(f);
        if (path.size() > ext.size() && EndsWithNoCase(path, ext)) {
            if (format != nullptr) *format = f;
            return true;
        }
    }
    return false;
}

KitContents ParseSfz(std::string_view text, const std::string& folder) {
    KitContents contents;
    enum class Scope { None, Control, Global, Master, Group, Region, Other };
    Scope scope = Scope::None;
    Opcodes global, master, group, region;
    std::string defaultPath;
    bool anyHeader = false;
    auto finishRegion = [&] {
        if (scope != Scope::Region) return;
        std::map<std::string, std::string> merged;
        for (const Opcodes* level : {&global, &master, &group, &region})
            for (const auto& [name, value] : *level) merged[name] = value;
        TakeSfzRegion(merged, folder, defaultPath, &contents);
        region.clear();
    };
    for (const std::string& line : SfzLines(text, &contents)) {
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && IsBlank(line[i])) ++i;
            if (i >= line.size()) break;
            if (line[i] == '<') {
                const size_t close = line.find('>', i);
                if (close == std::string::npos) {
                    contents.error = "a header is not closed with '>'";
                    return contents;
                }
                const std::string header = Lower(line.substr(i + 1, close - i - 1));
                i = close + 1;
                finishRegion();
                anyHeader = true;
                if (header == "region") {
                    scope = Scope::Region;
                } else if (header == "group") {
                    scope = Scope::Group;
                    group.clear();
                } else if (header == "master") {
                    scope = Scope::Master;
                    master.clear();
                    group.clear();
                } else if (header == "global") {
                    scope = Scope::Global;
                    global.clear();
                    master.clear();
                    group.clear();
                } else if (header == "control") {
                    scope = Scope::Control;
                } else {
                    scope = Scope::Other;
                    NameOnce(&contents.uncarried, "<" + header + ">");
                }
                continue;
            }
            const size_t equals = line.find('=', i);
            size_t nameEnd = i;
            while (nameEnd < line.size() && IsOpcodeChar(line[nameEnd])) ++nameEnd;
            if (equals == std::string::npos || nameEnd != equals || nameEnd == i) {
                contents.error = "'" + line.substr(i, 40) + "' is no opcode=value";
                return contents;
            }
            const std::string name = Lower(line.substr(i, nameEnd - i));
            const size_t next = NextOpcode(line, equals + 1);
            const std::string value(Trim(std::string_view(line).substr(
                equals + 1, next == std::string::npos ? std::string::npos : next - equals - 1)));
            i = next == std::string::npos ? line.size() : next;
            switch (scope) {
            case Scope::Control:
                if (name == "default_path") {
                    defaultPath = value;
                    std::replace(defaultPath.begin(), defaultPath.end(), '\\', '/');
                    if (!defaultPath.empty() && defaultPath.back() != '/') defaultPath += '/';
                } else {
                    NameOnce(&contents.uncarried, name);
                }
                break;
            case Scope::Global:
                if (name == "global_label") contents.bankName = value;
                global.emplace_back(name, value);
                break;
            case Scope::Master: master.emplace_back(name, value); break;
            case Scope::Group: group.emplace_back(name, value); break;
            case Scope::Region: region.emplace_back(name, value); break;
            case Scope::None:
                contents.error = "opcode '" + name + "' comes before any header";
                return contents;
            case Scope::Other: break;
            }
        }
    }
    finishRegion();
    if (!anyHeader) contents.error = "no <region> or other header";
    return contents;
}

namespace {

// --- Decent Sampler (XML) ---

struct XmlTag {
    std::string name;
    std::map<std::string, std::string> attributes;
    bool closing = false;      // </name>
    bool selfClosing = false;  // <name ... />
};

// &amp; &lt; &gt; &quot; &apos; and &#N; &#xN; (as UTF-8).
std::string DecodeEntities(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view entity = text.substr(i + 1, semi - i - 1);
        uint32_t code = 0;
        if (entity == "amp")
            code = '&';
        else if (entity == "lt")
            code = '<';
        else if (entity == "gt")
            code = '>';
        else if (entity == "quot")
            code = '"';
        else if (entity == "apos")
            code = '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (ec != std::errc() || end != digits.data() + digits.size() || code == 0 ||
                code > 0x10FFFF)
                code = 0;
        }
        if (code == 0) {
            out += '&';
            continue;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        i = semi;
    }
    return out;
}

// The tags of an XML text in order; comments, declarations and CDATA are
// passed over. False with *error for a text that breaks off inside one.
bool ReadXmlTags(std::string_view text, std::vector<XmlTag>* tags, std::string* error) {
    size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        auto skipTo = [&](std::string_view end) {
            const size_t at = text.find(end, i);
            if (at == std::string_view::npos) return false;
            i = at + end.size();
            return true;
        };
        const std::string_view rest = text.substr(i);
        if (rest.rfind("<!--", 0) == 0) {
            if (!skipTo("-->")) return *error = "a comment is not closed", false;
            continue;
        }
        if (rest.rfind("<![CDATA[", 0) == 0) {
            if (!skipTo("]]>")) return *error = "a CDATA section is not closed", false;
            continue;
        }
        if (rest.rfind("<?", 0) == 0 || rest.rfind("<!", 0) == 0) {
            if (!skipTo(">")) return *error = "a declaration is not closed", false;
            continue;
        }
        XmlTag tag;
        ++i;
        if (i < text.size() && text[i] == '/') {
            tag.closing = true;
            ++i;
        }
        const size_t nameStart = i;
        while (i < text.size() && !IsBlank(text[i]) && text[i] != '>' && text[i] != '/') ++i;
        tag.name = std::string(text.substr(nameStart, i - nameStart));
        if (tag.name.empty()) return *error = "a tag has no name", false;
        for (;;) {
            while (i < text.size() && IsBlank(text[i])) ++i;
            if (i >= text.size()) return *error = "tag <" + tag.name + "> is not closed", false;
            if (text[i] == '>') {
                ++i;
                break;
            }
            if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>') {
                tag.selfClosing = true;
                i += 2;
                break;
            }
            const size_t attrStart = i;
            while (i < text.size() && !IsBlank(text[i]) && text[i] != '=' && text[i] != '>' &&
                   text[i] != '/')
                ++i;
            const std::string attr(text.substr(attrStart, i - attrStart));
            while (i < text.size() && IsBlank(text[i])) ++i;
            if (attr.empty() || i >= text.size() || text[i] != '=')
                return *error = "an attribute of <" + tag.name + "> has no value", false;
            ++i;
            while (i < text.size() && IsBlank(text[i])) ++i;
            if (i >= text.size() || (text[i] != '"' && text[i] != '\''))
                return *error = "attribute " + attr + " is not quoted", false;
            const char quote = text[i++];
            const size_t close = text.find(quote, i);
            if (close == std::string_view::npos)
                return *error = "attribute " + attr + " is not closed", false;
            tag.attributes[attr] = DecodeEntities(text.substr(i, close - i));
            i = close + 1;
        }
        tags->push_back(std::move(tag));
    }
    return true;
}

// "-6dB", "3 dB" or a linear gain ("0.5") in dB; false for a gain of 0 or
// less, or no number.
bool ParseDsVolume(std::string_view text, double* db) {
    text = Trim(text);
    if (EndsWithNoCase(text, "db")) {
        return ParseNumber(text.substr(0, text.size() - 2), db) && *db >= -144 && *db <= 48;
    }
    double gain = 0;
    if (!ParseNumber(text, &gain) || gain <= 0) return false;
    *db = 20.0 * std::log10(gain);
    return *db >= -144 && *db <= 48;
}

// Attributes of ours and the harmless ones: no row needs them.
bool IsQuietDsAttribute(const std::string& name, const std::string& value) {
    if (name == "name" || name == "minVersion" || name == "tags" || name == "playbackMode")
        return true;
    if (name == "trigger") return value == "attack";
    if (name == "loopEnabled") return value == "false";
    if (name == "ampVelTrack") return value == "1";
    if (name == "enabled") return value == "true";
    if (name == "attack" || name == "decay") return value == "0";
    if (name == "sustain") return value == "1";
    if (name == "release") return true;  // a one-shot row ends on its own
    return false;
}

void TakeDsSample(const std::map<std::string, std::string>& attrs, double levelDb, double tuning,
                  bool hasLevel, const std::string& folder, KitContents* contents) {
    auto uncarried = [&](const std::string& name) { NameOnce(&contents->uncarried, name); };
    const std::string* path = Find(attrs, "path");
    if (path == nullptr || path->empty()) {
        uncarried("sample without path");
        return;
    }
    KitRegion region;
    region.shown = *path;
    region.sample = ResolveSample(folder, *path);
    region.hasVolume = hasLevel;
    region.volumeDb = levelDb;
    int lo = 0;
    int hi = 127;
    int root = -1;
    double keytrack = 1;
    for (const auto& [name, value] : attrs) {
        int note = 0;
        int64_t number = 0;
        double real = 0;
        bool taken = true;
        if (name == "path") {
        } else if (name == "rootNote") {
            if ((taken = ParseNote(value, &note))) root = note;
        } else if (name == "loNote") {
            if ((taken = ParseNote(value, &note))) lo = note;
        } else if (name == "hiNote") {
            if ((taken = ParseNote(value, &note))) hi = note;
        } else if (name == "start") {
            if ((taken = ParseInteger(value, &number) && number >= 0)) region.offset = number;
        } else if (name == "end") {
            if ((taken = ParseInteger(value, &number) && number >= 0)) region.end = number;
        } else if (name == "volume") {
            if ((taken = ParseDsVolume(value, &real))) {
                region.hasVolume = true;
                region.volumeDb += real;
            }
        } else if (name == "tuning") {
            if ((taken = ParseNumber(value, &real) && std::abs(real) <= 127)) tuning += real;
        } else if (name == "pitchKeyTrack") {
            if ((taken = ParseNumber(value, &real) && real >= 0 && real <= 1)) keytrack = real;
        } else {
            taken = IsQuietDsAttribute(name, value);
        }
        if (!taken) uncarried(name);
    }
    if (region.end >= 0 && region.end < region.offset) {
        uncarried("end");
        region.end = -1;
    }
    if (lo == hi) {
        region.key = lo;
        if (root >= 0) region.pitchSemitones = (lo - root) * keytrack;
    }
    region.pitchSemitones += tuning;
    contents->regions.push_back(std::move(region));
}

// XML special characters as entities, for an attribute's value.
std::string XmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

KitContents ParseDspreset(std::string_view text, const std::string& folder) {
    KitContents contents;
    std::vector<XmlTag> tags;
    if (!ReadXmlTags(text, &tags, &contents.error)) return contents;
    std::vector<std::string> open;  // the elements the current tag lies in
    bool root = false;
    // Levels and tunings of <groups> and the current <group>, added to each sample's.
    double groupsDb = 0, groupDb = 0, groupsTuning = 0, groupTuning = 0;
    bool groupsLevel = false, groupLevel = false, groupEnabled = true;
    for (const XmlTag& tag : tags) {
        if (tag.closing) {
            if (!open.empty() && open.back() == tag.name) open.pop_back();
            continue;
        }
        const std::string parent = open.empty() ? std::string() : open.back();
        if (tag.name == "DecentSampler" && open.empty()) {
            root = true;
        } else if (tag.name == "groups" && parent == "DecentSampler") {
            groupsDb = groupsTuning = 0;
            groupsLevel = false;
            for (const auto& [name, value] : tag.attributes) {
                double real = 0;
                if (name == "volume" && ParseDsVolume(value, &real)) {
                    groupsDb = real;
                    groupsLevel = true;
                } else if (name == "globalTuning" && ParseNumber(value, &real) &&
                           std::abs(real) <= 127) {
                    groupsTuning = real;
                } else if (!IsQuietDsAttribute(name, value)) {
                    NameOnce(&contents.uncarried, name);
                }
            }
        } else if (tag.name == "group" && parent == "groups") {
            groupDb = groupTuning = 0;
            groupLevel = false;
            groupEnabled = true;
            for (const auto& [name, value] : tag.attributes) {
                double real = 0;
                if (name == "volume" && ParseDsVolume(value, &real)) {
                    groupDb = real;
                    groupLevel = true;
                } else if (name == "groupTuning" && ParseNumber(value, &real) &&
                           std::abs(real) <= 127) {
                    groupTuning = real;
                } else if (name == "enabled" && value == "false") {
                    groupEnabled = false;
                } else if (name == "name" && contents.bankName.empty()) {
                    contents.bankName = value;
                } else if (!IsQuietDsAttribute(name, value)) {
                    NameOnce(&contents.uncarried, name);
                }
            }
        } else if (tag.name == "sample" && parent == "group") {
            if (groupEnabled)
                TakeDsSample(tag.attributes, groupsDb + groupDb, groupsTuning + groupTuning,
                             groupsLevel || groupLevel, folder, &contents);
            else
                NameOnce(&contents.uncarried, "enabled");
        } else if (root && (parent == "groups" || parent == "group")) {
            // Only samples in groups make a row's sound; anything else there
            // (an oscillator, effects) is named by its element.
            NameOnce(&contents.uncarried, "<" + tag.name + ">");
        }
        if (!tag.selfClosing) open.push_back(tag.name);
    }
    if (!root) contents.error = "no <DecentSampler> element";
    return contents;
}

KitContents ParseKit(KitFormat format, std::string_view text, const std::string& folder) {
    if (format == KitFormat::Sfz) return ParseSfz(text, folder);
    if (format == KitFormat::Dspreset) return ParseDspreset(text, folder);
    KitContents none;
    none.error = "not a kit format";
    return none;
}

std::string KitRowFileName(const std::string& bankName, int row) {
    const std::string n = std::to_string(row);
    return bankName + (n.size() < 2 ? " 0" : " ") + n + ".wav";
}

std::string WriteKitText(KitFormat format, const std::string& bankName,
                         const std::vector<KitRowFile>& rows) {
    std::string text;
    if (format == KitFormat::Sfz) {
        text = "// GRIDLUME bank " + bankName +
               ": row r plays on note 59 + r (row 1 on note 60), whole and once;\n"
               "// velocity sets the level as on the pads, (velocity / 127)^2.\n"
               "<global>\nglobal_label=" +
               bankName + "\nloop_mode=one_shot\namp_veltrack=100\n";
        for (const KitRowFile& row : rows) {
            text += "\n<region>\nsample=" + row.fileName +
                    "\nkey=" + std::to_string(KitKeyOfRow(row.row)) + "\n";
        }
    } else if (format == KitFormat::Dspreset) {
        // The name goes in the group's name only: a comment may not hold "--".
        text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- A GRIDLUME bank: row r plays on "
            "note 59 + r (row 1 on note 60), whole and once. -->\n"
            "<DecentSampler minVersion=\"1.0.0\">\n  <groups>\n    <group name=\"" +
            XmlEscape(bankName) +
            "\" ampVelTrack=\"1\" attack=\"0\" decay=\"0\" sustain=\"1\" release=\"1\">\n";
        for (const KitRowFile& row : rows) {
            const std::string key = std::to_string(KitKeyOfRow(row.row));
            text += "      <sample path=\"" + XmlEscape(row.fileName) + "\" rootNote=\"" + key +
                    "\" loNote=\"" + key + "\" hiNote=\"" + key +
                    "\" loopEnabled=\"false\" trigger=\"attack\"/>\n";
        }
        text += "    </group>\n  </groups>\n</DecentSampler>\n";
    }
    return text;
}
