#include "cli/TerminalPassword.h"

#include <QByteArray>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

std::optional<QString> ReadFromTerminal(const QString& sPrompt, bool bEcho)
{
#if defined(Q_OS_UNIX)
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // Echo goes off before the prompt shows: switching it off discards
    // what was typed ahead, which must not include the answer.
    // A question with echo leaves the terminal as it is, and an answer typed
    // ahead stands.
    termios saved {};
    const bool bTerminal = !bEcho && ::tcgetattr(fd, &saved) == 0;
    if (bTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ICANON;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    const QByteArray prompt = sPrompt.toLocal8Bit();
    (void)!::write(fd, prompt.constData(), static_cast<size_t>(prompt.size()));
    QByteArray line;
    char c = 0;
    bool bEnded = false;
    while (line.size() < 4096) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n' || c == '\r') {
            bEnded = true;
            break;
        }
        line += c;
    }
    if (bTerminal) ::tcsetattr(fd, TCSANOW, &saved);
    if (!bEcho) (void)!::write(fd, "\n", 1);
    ::close(fd);
    if (!bEnded && line.isEmpty()) return std::nullopt;
    return QString::fromLocal8Bit(line);
#else
    Q_UNUSED(sPrompt) Q_UNUSED(bEcho)
    return std::nullopt;
#endif
}

}  // namespace

std::optional<QString> ReadPasswordFromTerminal(const QString& sPrompt) { return ReadFromTerminal(sPrompt, false); }

std::optional<QString> ReadAnswerFromTerminal(const QString& sPrompt) { return ReadFromTerminal(sPrompt, true); }
