#include "framework/serialnumber.h"
#include "framework/serialnumber_p.h"

#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char *const DeviceFile = "/etc/serialnumber";

struct FileChoice
{
    QMutex mutex;
    std::string path = DeviceFile;
};

// Read during static initialisation too: built on first use.
FileChoice &fileChoice()
{
    static FileChoice choice;
    return choice;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

void setSerialNumberFile(const std::string &path)
{
    FileChoice &choice = fileChoice();
    QMutexLocker lock(&choice.mutex);
    choice.path = path.empty() ? std::string(DeviceFile) : path;
}

std::string getSerialNumber()
{
    std::string path;
    {
        FileChoice &choice = fileChoice();
        QMutexLocker lock(&choice.mutex);
        path = choice.path;
    }
    // Non-blocking, so a pipe in the file's place cannot stall the start; bounded, so a
    // device node or a runaway file cannot exhaust memory.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    char buffer[SerialNumberReadLimit];
    int filled = 0;
    while (filled < SerialNumberReadLimit) {
        const ssize_t got = ::read(fd, buffer + filled, size_t(SerialNumberReadLimit - filled));
        if (got > 0)
            filled += int(got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(fd);

    int begin = 0;
    while (begin < filled && isBlank(buffer[begin]))
        ++begin;
    int end = begin;
    while (end < filled && !isBlank(buffer[end]))
        ++end;
    return std::string(buffer + begin, size_t(end - begin));
}
