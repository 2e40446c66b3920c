#pragma once

#include <QString>

#include <optional>

class QLineEdit;
class QWidget;

// How the editor's text and port fields meet the record: they show the stored value through
// the field formats, and they are only rewritten when the stored value differs from what they
// read as, so that a merge or a refresh never moves the cursor of a field being typed in.
namespace EditorFields {

// The text a field stores: trimmed, and nothing for an empty field.
std::optional<QString> storedText(const QString &typed);
qint32 storedPort(const QString &typed);

void showText(QLineEdit *field, const std::optional<QString> &value);
void showPort(QLineEdit *field, qint32 port);

// Fields in error get a red frame (the "invalid" property that the editor's style sheet draws).
void markInvalid(QWidget *field, bool invalid);
QString styleSheet();

} // namespace EditorFields
