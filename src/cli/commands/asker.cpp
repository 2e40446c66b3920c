#include "asker.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

Asker::Asker()
    : m_tty(::open("/dev/tty", O_RDWR | O_CLOEXEC)), m_in(m_tty ? m_tty.get() : STDIN_FILENO),
      m_notifier(m_in, QSocketNotifier::Read)
{
    m_notifier.setEnabled(false);
    QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier,
                     [this] { readAvailable(); });
}

Asker::~Asker()
{
    showTyping();
}

void Asker::ask(const QString &message, bool secret, Done done)
{
    Q_ASSERT(!asking());
    say(message.toUtf8() + ' ');
    if (secret)
        hideTyping();
    m_done = std::move(done);
    takeLine();
    listen();
}

void Asker::withdraw(const QString &why)
{
    if (!asking())
        return;
    m_done = nullptr;
    listen();
    showTyping();
    say("\n" + why.toUtf8() + '\n');
}

void Asker::say(const QByteArray &text) const
{
    [[maybe_unused]] const ssize_t written =
        ::write(m_tty ? m_tty.get() : STDERR_FILENO, text.constData(), size_t(text.size()));
}

void Asker::hideTyping()
{
    if (m_tty && ::tcgetattr(m_tty.get(), &m_saved) == 0) {
        termios quiet = m_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        m_hidden = ::tcsetattr(m_tty.get(), TCSAFLUSH, &quiet) == 0;
    }
}

void Asker::showTyping()
{
    if (std::exchange(m_hidden, false)) {
        ::tcsetattr(m_tty.get(), TCSAFLUSH, &m_saved);
        say("\n");
    }
}

void Asker::readAvailable()
{
    char chunk[4096];
    const ssize_t got = ::read(m_in, chunk, sizeof chunk);
    if (got > 0)
        m_buffer.append(chunk, got);
    else if (got == 0 || (errno != EINTR && errno != EAGAIN))
        m_ended = true;
    takeLine();
    listen();
}

void Asker::listen()
{
    m_notifier.setEnabled(asking() && !m_ended);
}

void Asker::takeLine()
{
    const qsizetype newline = m_buffer.indexOf('\n');
    if (!asking() || (newline < 0 && !m_ended))
        return;
    std::optional<QString> answer;
    if (newline >= 0) {
        answer = QString::fromUtf8(m_buffer.left(newline));
        m_buffer.remove(0, newline + 1);
    } else if (!m_buffer.isEmpty()) {
        answer = QString::fromUtf8(std::exchange(m_buffer, {}));
    }
    showTyping();
    std::exchange(m_done, nullptr)(answer);
}
