#include "lib/live/serial_line.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace live {

namespace {

struct BaudCode {
    int baud;
    speed_t code;
};

constexpr BaudCode kBauds[] = {
    {1200, B1200},       {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000},
};

bool SpeedCode(int baud, speed_t& code) {
    for (const BaudCode& entry : kBauds) {
        if (entry.baud == baud) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsSupportedBaud(int baud) {
    speed_t code;
    return SpeedCode(baud, code);
}

bool IsSerialDevice(const std::string& path) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool terminal = isatty(fd) != 0;
    close(fd);
    return terminal;
}

int OpenSerialLine(const std::string& path, int baud, std::string& error) {
    // Non-blocking, so that a quiet line never keeps the reader from
    // noticing a stop; VMIN 1 makes an empty line say EAGAIN rather than
    // end of file.
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    struct termios mode = {};
    if (tcgetattr(fd, &mode) != 0) {
        error = std::strerror(errno);
        close(fd);
        return -1;
    }
    cfmakeraw(&mode);
    mode.c_cflag |= CREAD | CLOCAL;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    speed_t code;
    if (baud > 0 && SpeedCode(baud, code)) {
        cfsetispeed(&mode, code);
        cfsetospeed(&mode, code);
    }
    if (tcsetattr(fd, TCSANOW, &mode) != 0) {
        error = std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace live
