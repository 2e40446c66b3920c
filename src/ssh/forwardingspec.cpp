#include "forwardingspec.h"

#include "localized.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Splits at colons outside brackets; bracketed fields lose their brackets. A bracket may only
// enclose a whole field: "[" at its start, "]" right before the next colon or the end.
std::optional<QStringList> fields(const QString &spec)
{
    QStringList result;
    QString current;
    bool bracketed = false;
    bool inBrackets = false;
    for (QChar c : spec) {
        if (c == u'[' && current.isEmpty() && !bracketed) {
            inBrackets = bracketed = true;
        } else if (c == u']' && inBrackets) {
            inBrackets = false;
        } else if (c == u':' && !inBrackets) {
            result.append(current);
            current.clear();
            bracketed = false;
        } else if (c == u'[' || c == u']' || (bracketed && !inBrackets)) {
            return std::nullopt;
        } else {
            current += c;
        }
    }
    if (inBrackets)
        return std::nullopt;
    result.append(current);
    return result;
}

// The client splits its arguments at blanks and refuses control characters, so a spec typed
// with them would only fail later, when the tunnel starts.
std::optional<QChar> forbiddenCharacter(const QString &spec)
{
    for (QChar c : spec) {
        if (c.isSpace() || c.category() == QChar::Other_Control ||
            c.category() == QChar::Other_Format)
            return c;
    }
    return std::nullopt;
}

bool isPath(const QString &field)
{
    return field.startsWith(u'/') || field.startsWith(u"~/"_s);
}

std::optional<qint32> port(const QString &field)
{
    if (field.isEmpty() || field.size() > 5 ||
        !std::all_of(field.cbegin(), field.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const int value = field.toInt(&ok);
    if (!ok || value < 0 || value > 65535)
        return std::nullopt;
    return value;
}

struct Endpoint
{
    std::optional<QString> address;
    qint32 port = 0;
};

// One endpoint from one field (a path or a port) or two (an address and a port).
std::optional<Endpoint> endpoint(const QStringList &parts)
{
    if (parts.size() == 1) {
        if (isPath(parts[0]))
            return Endpoint{parts[0], 0};
        if (auto p = port(parts[0]))
            return Endpoint{std::nullopt, *p};
        return std::nullopt;
    }
    if (parts.size() == 2 && !parts[0].isEmpty() && !isPath(parts[0])) {
        if (auto p = port(parts[1]))
            return Endpoint{parts[0], *p};
    }
    return std::nullopt;
}

std::optional<ForwardingData> parse(ForwardingType type, const QStringList &f)
{
    ForwardingData data;
    data.type = qint16(type);
    data.enabled = true;
    auto setBind = [&](const Endpoint &e) {
        data.bindAddress = e.address;
        data.bindPort = e.port;
    };
    if (isDynamic(type)) {
        auto bind = endpoint(f);
        if (!bind)
            return std::nullopt;
        setBind(*bind);
        return data;
    }
    if (type == ForwardingType::remote && f.size() <= 2 && !isPath(f.last())) {
        auto bind = endpoint(f);
        if (!bind)
            return std::nullopt;
        data.type = qint16(ForwardingType::reverseDynamic);
        setBind(*bind);
        return data;
    }
    // The target is a path (one field) or a host and a port (two); the rest is the bind side.
    const int targetFields = isPath(f.last()) ? 1 : 2;
    if (f.size() <= targetFields)
        return std::nullopt;
    auto target = endpoint(f.mid(f.size() - targetFields));
    auto bind = endpoint(f.mid(0, f.size() - targetFields));
    if (!target || !bind)
        return std::nullopt;
    setBind(*bind);
    data.targetAddress = target->address;
    data.targetPort = target->port;
    return data;
}

QString expectedForm(ForwardingType type)
{
    return isDynamic(type) ? u"[bind:]port"_s : u"[bind:]port:host:hostport"_s;
}

} // namespace

Result<ForwardingData> parseForwardingSpec(ForwardingType type, const QString &spec)
{
    const QString trimmed = spec.trimmed();
    if (const std::optional<QChar> c = forbiddenCharacter(trimmed)) {
        return Error(localized("Invalid forwarding “%1”: it contains %2, which ssh does not take.")
                         .arg(spec, u"U+%1"_s.arg(c->unicode(), 4, 16, QChar(u'0')).toUpper()));
    }
    const auto parts = fields(trimmed);
    if (!parts) {
        return Error(localized("Invalid forwarding “%1”: a bracket must enclose a whole address.")
                         .arg(spec));
    }
    if (auto data = parse(type, *parts)) {
        // The client would take an address that starts with "-" for an option of its own.
        for (const auto &[address, field] :
             {std::pair{data->bindAddress, localized("bind address")},
              std::pair{data->targetAddress, localized("target address")}}) {
            if (address && address->startsWith(u'-'))
                return Error(localized("Invalid forwarding “%1”: the %2 starts with “-”, which ssh "
                                       "would read as an option.")
                                 .arg(spec, field));
        }
        return *data;
    }
    return Error(localized("Invalid forwarding “%1”: expected %2.").arg(spec, expectedForm(type)));
}
