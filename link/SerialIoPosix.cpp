#include "link/SerialIo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace corvane::serialio {
namespace {

// Unix 98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

bool SpeedOf(unsigned baud, speed_t& speed) {
    switch (baud) {
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 38400:
            speed = B38400;
            return true;
        case 57600:
            speed = B57600;
            return true;
        case 115200:
            speed = B115200;
            return true;
        case 230400:
            speed = B230400;
            return true;
        case 460800:
            speed = B460800;
            return true;
        case 921600:
            speed = B921600;
            return true;
        default:
            return false;
    }
}

}  // namespace

Event::Event() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Event::~Event() {
    if (fd_ >= 0) ::close(fd_);
}

void Event::Signal() {
    const std::uint64_t one = 1;
    // A full counter is still signalled, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void Event::Reset() {
    std::uint64_t value = 0;
    while (::read(fd_, &value, sizeof value) > 0) {
    }
}

bool Event::IsSignalled() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

std::unique_ptr<Port> Port::Open(const std::string& device, int& error) {
    error = 0;
    if (device.empty()) {
        error = ENOENT;
        return nullptr;
    }
    // Non-blocking, so that neither the open nor a read waits for carrier.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    auto fail = [&](int code) {
        error = code;
        ::close(fd);
        return nullptr;
    };
    if (!::isatty(fd)) return fail(ENOTTY);
    // A program that holds the device locks it with flock (and so do we): sharing the line
    // with it would mix both programs' frames.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    // Later opens by other programs fail with EBUSY while we hold the device.
    if (::ioctl(fd, TIOCEXCL) != 0) return fail(errno);
    return std::unique_ptr<Port>(new Port(fd, IsPseudoTerminal(fd)));
}

Port::~Port() {
    // The exclusive mode belongs to the terminal, not to our descriptor; a pseudo-terminal
    // whose other side stays open would keep refusing later opens.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

int Port::Configure(const LineSettings& s) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return errno;
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    switch (s.dataBits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return EINVAL;
    }
    if (s.stopBits == 2) t.c_cflag |= CSTOPB;
    switch (s.parity) {
        case 'N':
            break;
        case 'E':
            t.c_cflag |= PARENB;
            break;
        case 'O':
            t.c_cflag |= PARENB | PARODD;
            break;
        default:
            return EINVAL;
    }
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    // A read returns what is there; with nothing there it fails with EAGAIN, and only a hung-up
    // line reads as end of file.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    speed_t speed{};
    if (!SpeedOf(s.baud, speed)) return EINVAL;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return errno;
    int lines = TIOCM_DTR | TIOCM_RTS;
    // Pseudo-terminals have no modem lines.
    if (::ioctl(fd_, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) return errno;
    return 0;
}

void Port::Purge() {
    // On a pseudo-terminal the output side is the other end's unread input: flushing it would
    // throw away bytes that have already been sent.
    ::tcflush(fd_, pseudoTerminal_ ? TCIFLUSH : TCIOFLUSH);
}

ReadResult Port::Read(std::uint8_t* buffer, std::size_t max) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, max);
        if (n > 0) return {static_cast<std::size_t>(n), false};
        if (n == 0) return {0, true};  // end of file: the line was hung up
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return {};
        return {0, errno == EIO || errno == ENXIO || errno == ENODEV};
    }
}

WriteResult Port::WriteAll(const std::uint8_t* bytes, std::size_t length, const Event& shutdown) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{shutdown.Native(), POLLIN, 0}, {fd_, POLLOUT, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return WriteResult::Failed;
            if (fds[0].revents & POLLIN) return WriteResult::Interrupted;
            if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return WriteResult::Failed;
            continue;
        }
        return WriteResult::Failed;
    }
    // The next purge must not catch these bytes still in the driver's queue.
    while (::tcdrain(fd_) != 0) {
        if (errno == EINTR) continue;
        if (errno == ENOTTY || errno == EINVAL) break;
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

Woken Wait(const Port* port, const Event& shutdown, const Event& writeRequest) {
    pollfd fds[3] = {{shutdown.Native(), POLLIN, 0},
                     {port ? port->Native() : -1, POLLIN, 0},
                     {writeRequest.Native(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR || errno == ENOMEM) continue;
            return Woken::PortFailed;
        }
        if (fds[0].revents) return Woken::Shutdown;
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return Woken::PortFailed;
        if (fds[1].revents & POLLIN) return Woken::Input;
        if (fds[2].revents) return Woken::WriteRequest;
    }
}

}  // namespace corvane::serialio
