#pragma once

#include "uniquefd.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>

#include <functional>
#include <optional>

#include <termios.h>

// Asks on the terminal, without echo for secrets; with no terminal, the answer is the next
// line of standard input. End of input cancels. Lines are read as they come, inside the event
// loop, so that a question withdrawn while it is asked stops being asked.
class Asker
{
public:
    using Done = std::function<void(std::optional<QString>)>;

    Asker();
    ~Asker();
    Asker(const Asker &) = delete;
    Asker &operator=(const Asker &) = delete;

    bool asking() const { return bool(m_done); }
    void ask(const QString &message, bool secret, Done done);
    // The question is no longer asked; what is typed next answers the next one.
    void withdraw(const QString &why);

private:
    void say(const QByteArray &text) const;
    void hideTyping();
    void showTyping();
    void readAvailable();
    void listen();
    // Answers the question with the next line, or cancels it at the end of input.
    void takeLine();

    UniqueFd m_tty;
    int m_in;
    QSocketNotifier m_notifier;
    QByteArray m_buffer;
    bool m_ended = false;
    termios m_saved{};
    bool m_hidden = false;
    Done m_done;
};
