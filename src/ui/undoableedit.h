#pragma once

#include "result.h"

#include <QString>

#include <functional>

class ObjectContext;

// Runs the edits as one named undo step of the context, announces them at once (so that the
// views follow before the caller goes on), and saves.
Status performUndoable(ObjectContext &context, const QString &actionName,
                       const std::function<void()> &edits);
