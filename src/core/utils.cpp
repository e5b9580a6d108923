#include "core/utils.h"

#include <dirent.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iomanip>

namespace {

bool listEntries(const std::string &dir, std::list<std::string> &out, const std::string &pattern,
                 bool directories)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return false;
    while (const dirent *entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        const std::string full = Utils::combinePath(dir, name);
        struct stat st;
        if (stat(full.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode) != directories)
            continue;
        if (!pattern.empty() && !Utils::match(name, pattern))
            continue;
        out.push_back(full);
    }
    closedir(d);
    return true;
}

bool matchFrom(const char *text, const char *pattern)
{
    for (; *pattern; ++pattern, ++text) {
        if (*pattern == '*') {
            if (pattern[1] == '\0' || *text == '\0')
                return true;
            for (const char *rest = text; *rest; ++rest) {
                if (matchFrom(rest, pattern + 1))
                    return true;
            }
            return false;
        }
        if (*text == '\0')
            return false;
        if (*pattern != '?' && *pattern != *text)
            return false;
    }
    return *text == '\0';
}

std::size_t lastSeparator(const std::string &path)
{
    return path.find_last_of("/\\");
}

} // namespace

std::string Utils::combinePath(const std::string &a, const std::string &b)
{
    const std::string tail = (!b.empty() && b[0] == '/') ? b.substr(1) : b;
    if (a.empty())
        return tail;
    if (b.empty())
        return a;
    return a.back() == '/' ? a + tail : a + '/' + tail;
}

std::string Utils::getFilenameFromFilepath(const std::string &path)
{
    const auto pos = lastSeparator(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string Utils::getPathFromFilepath(const std::string &path)
{
    const auto pos = lastSeparator(path);
    return pos == std::string::npos ? path : path.substr(0, pos);
}

std::string Utils::getFileExtension(const std::string &path)
{
    const auto pos = path.rfind('.');
    return pos == std::string::npos ? std::string() : path.substr(pos);
}

std::string Utils::changeFileExt(const std::string &path, const std::string &ext)
{
    const auto pos = path.rfind('.');
    return (pos == std::string::npos ? path : path.substr(0, pos)) + ext;
}

bool Utils::match(const std::string &text, const std::string &pattern)
{
    return matchFrom(text.c_str(), pattern.c_str());
}

bool Utils::fileExists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

bool Utils::pathExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Utils::isSymlink(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string Utils::readSymlink(const std::string &path)
{
    char buffer[1024];
    // readlink writes no terminating NUL: use the length it returns.
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
    if (length < 0)
        return path;
    return std::string(buffer, static_cast<std::size_t>(length));
}

bool Utils::deleteFile(const std::string &path)
{
    return unlink(path.c_str()) == 0;
}

bool Utils::moveFile(const std::string &from, const std::string &to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool Utils::makePath(const std::string &path)
{
    // Level by level with mkdir(2): no shell, so blanks and metacharacters are just bytes.
    if (path.empty())
        return false;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string level = path.substr(0, pos);
        if (mkdir(level.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return pathExists(path);
}

std::string Utils::changeToAppPath()
{
    const auto execFn = reinterpret_cast<const char *>(getauxval(AT_EXECFN));
    if (!execFn)
        return std::string();
    const std::string dir = getPathFromFilepath(execFn);
    char resolved[PATH_MAX];
    if (!realpath(dir == execFn ? "." : dir.c_str(), resolved))
        return std::string();
    if (chdir(resolved) != 0)
        return std::string();
    return resolved;
}

bool Utils::listFilesInDir(const std::string &dir, std::list<std::string> &out, const std::string &pattern)
{
    return listEntries(dir, out, pattern, false);
}

bool Utils::listDirectoriesInDir(const std::string &dir, std::list<std::string> &out,
                                 const std::string &pattern)
{
    return listEntries(dir, out, pattern, true);
}

std::list<std::string> Utils::listFiles(const std::string &dir, const std::string &pattern)
{
    std::list<std::string> out;
    listFilesInDir(dir, out, pattern);
    return out;
}

std::list<std::string> Utils::listDirectories(const std::string &dir, const std::string &pattern)
{
    std::list<std::string> out;
    listDirectoriesInDir(dir, out, pattern);
    return out;
}

std::string Utils::getProcessId()
{
    return std::to_string(getpid());
}

std::vector<unsigned char> Utils::decToBCD(int n)
{
    if (n < 0)
        return {};
    const std::string digits = std::to_string(n);
    std::vector<unsigned char> out;
    out.reserve(digits.size());
    for (const char c : digits)
        out.push_back(static_cast<unsigned char>(c - '0'));
    return out;
}

void Utils::printVector(const std::vector<unsigned char> &data, std::ostream &os)
{
    os << "Size : " << std::dec << data.size() << std::endl;
    os << std::hex << std::setfill('0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        os << std::setw(2) << static_cast<int>(data[i]) << ' ';
        if ((i + 1) % 16 == 0 && i + 1 < data.size())
            os << '\n';
    }
    os << std::dec << '\n';
}
