#include "run/Profiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {
namespace {

std::string Trimmed(const std::string& text)
{
    const std::size_t from = text.find_first_not_of(" \t\r");
    if (from == std::string::npos)
        return {};
    return text.substr(from, text.find_last_not_of(" \t\r") - from + 1);
}

// Each missing folder made private; one there already keeps its mode but for the last.
void MakeFolders(const std::string& folder)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw ProfileError{part + ": " + std::strerror(errno)};
        if (slash == std::string::npos)
            break;
    }
    ::chmod(folder.c_str(), 0700);
}

}  // namespace

bool ValidProfileName(const std::string& name)
{
    if (name.empty() || name[0] == '.' || name.size() > 200)
        return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.';
        if (!plain)
            return false;
    }
    return true;
}

std::string ProfilePath(const std::string& name)
{
    if (!ValidProfileName(name))
        throw ProfileError{"a profile's name is made of letters, digits, '-', '_' and '.' (not first), not " +
                           name};
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.config";
    }
    return folder + "/quillbarrow/profiles/" + name + ".conf";
}

std::vector<ProfileEntry> ReadProfile(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw ProfileError{path + ": " + std::strerror(errno)};
    if (!S_ISREG(status.st_mode) || status.st_size > 1 << 20)
        throw ProfileError{path + ": not a profile (a small text file)"};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ProfileError{path + ": " + std::strerror(errno)};
    std::vector<ProfileEntry> entries;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const std::string line = Trimmed(text);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t equals = line.find('=');
        ProfileEntry entry{Trimmed(line.substr(0, equals)), "", number};
        if (equals == std::string::npos || entry.option.empty() || text.find('\0') != std::string::npos)
            throw ProfileError{path + ", line " + std::to_string(number) + ": not \"option = value\": " + line};
        entry.value = Trimmed(line.substr(equals + 1));
        // A value with spaces at its ends, or none at all, is written in double quotes.
        if (entry.value.size() >= 2 && entry.value.front() == '"' && entry.value.back() == '"')
            entry.value = entry.value.substr(1, entry.value.size() - 2);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void WriteProfile(const std::string& path, const std::vector<ProfileEntry>& entries)
{
    std::string text = "# quillbarrow profile: one \"option = value\" a line\n";
    for (const ProfileEntry& entry : entries) {
        if (entry.value.find_first_of("\r\n") != std::string::npos)
            throw ProfileError{"a profile cannot keep the line break in the value of " + entry.option};
        const bool quote = entry.value.empty() || Trimmed(entry.value) != entry.value ||
                           (entry.value.front() == '"' && entry.value.back() == '"');
        text += entry.option + " = " + (quote ? "\"" + entry.value + "\"" : entry.value) + "\n";
    }
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        MakeFolders(path.substr(0, slash));
    // Written beside the file and renamed over it, so a reader never sees half a profile.
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw ProfileError{temporary + ": " + std::strerror(errno)};
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string reason = std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            throw ProfileError{temporary + ": " + reason};
        }
        written += static_cast<std::size_t>(n);
    }
    ::fchmod(fd, 0600);
    const bool closed = ::close(fd) == 0;
    if (!closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw ProfileError{path + ": " + reason};
    }
}

}  // namespace qb
