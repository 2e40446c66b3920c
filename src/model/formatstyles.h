#pragma once

#include <QString>

#include <concepts>

// How the editor shows and reads a port: 1...65535 as decimal text, anything else as an empty
// field; text that is not a port reads as 0, which means no port.
template<std::integral Port>
struct PortNumberFormatStyle
{
    static QString format(Port value)
    {
        return value >= 1 && qint64(value) <= 65535 ? QString::number(value) : QString();
    }

    static Port parse(const QString &text)
    {
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        return ok && value >= 1 && value <= 65535 ? Port(value) : Port(0);
    }
};

// Text fields drop surrounding white space and line breaks both ways, and nothing else.
struct TrimmedFormatStyle
{
    static QString format(const QString &text) { return text.trimmed(); }
    static QString parse(const QString &text) { return text.trimmed(); }
};
