#include "sshprotocol.h"

#include <QCborArray>

using namespace Qt::StringLiterals;

namespace SSHProtocol {

QCborMap encode(const RunRequest &request)
{
    QCborMap environment;
    for (auto it = request.environment.cbegin(); it != request.environment.cend(); ++it)
        environment.insert(it.key(), it.value());
    return {{u"arguments"_s, QCborArray::fromStringList(request.arguments)},
            {u"environment"_s, environment},
            {u"grid"_s, QCborArray{request.grid.rows, request.grid.columns, request.grid.width,
                                   request.grid.height}}};
}

std::optional<RunRequest> decodeRunRequest(const QCborMap &args)
{
    const QCborValue arguments = args.value(u"arguments"_s);
    const QCborValue environment = args.value(u"environment"_s);
    if (!arguments.isArray() || !environment.isMap())
        return std::nullopt;
    RunRequest request;
    for (const QCborValue &word : arguments.toArray()) {
        if (!word.isString())
            return std::nullopt;
        request.arguments.append(word.toString());
    }
    const QCborMap variables = environment.toMap();
    for (auto it = variables.cbegin(); it != variables.cend(); ++it) {
        if (!it.key().isString() || !it.value().isString())
            return std::nullopt;
        request.environment.insert(it.key().toString(), it.value().toString());
    }
    const QCborArray grid = args.value(u"grid"_s).toArray();
    if (grid.size() == 4) {
        request.grid = {quint16(grid[0].toInteger()), quint16(grid[1].toInteger()),
                        quint16(grid[2].toInteger()), quint16(grid[3].toInteger())};
    }
    return request;
}

} // namespace SSHProtocol
