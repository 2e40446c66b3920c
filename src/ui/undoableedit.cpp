#include "undoableedit.h"

#include "objectcontext.h"
#include "undostack.h"

Status performUndoable(ObjectContext &context, const QString &actionName,
                       const std::function<void()> &edits)
{
    // Edits made earlier in this turn stay a step of their own.
    context.processPendingChanges();
    UndoStack *undo = context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    edits();
    context.processPendingChanges();
    if (undo) {
        undo->setActionName(actionName);
        undo->endUndoGrouping();
    }
    return context.saveIfChanged();
}
