#pragma once

#include "profilevalidationform.h"

#include <QList>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QWidget;

// How the editor's text and port fields meet the record: they show the stored value through
// the field formats, and they are only rewritten when the stored value differs from what they
// read as, so that a merge or a refresh never moves the cursor of a field being typed in.
namespace EditorFields {

// The text a field stores: trimmed, and nothing for an empty field.
std::optional<QString> storedText(const QString &typed);
qint32 storedPort(const QString &typed);
// Whether the text of a port field is a port or nothing (the default); anything else would be
// stored as no port, so it is refused instead.
bool isPortText(const QString &typed);
QString portMessage();

void showText(QLineEdit *field, const std::optional<QString> &value);
void showPort(QLineEdit *field, qint32 port);

// Fields in error get a red frame (the "invalid" property that the editor's style sheet draws).
void markInvalid(QWidget *field, bool invalid);
// The line under a field that tells what is wrong with it. It keeps its place while empty, so
// that a message coming or going moves no field under the pointer.
QLabel *messageLine();
// Shows the message under the field and marks the field; an empty message clears both.
void showMessage(QLabel *line, QWidget *field, const QString &message);
// A field above its message line.
QWidget *withMessage(QWidget *field, QLabel *line);
// The message of the first problem that lies in that field (or that option), or nothing.
QString problemIn(const QList<ProfileValidationForm::FieldProblem> &problems,
                  ProfileValidationForm::CheckedField field, const QString &option = {});
QString styleSheet();

} // namespace EditorFields
