#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>

class QWidget;

// Opens a file or folder picker over the page ("pathChooser") and calls back with the chosen
// path once the user picks one. It leaves the event loop running, like the alerts; the dialog
// goes when it closes.
QFileDialog *choosePath(QWidget *page, QFileDialog::FileMode mode, const QString &title,
                        const QString &start, const std::function<void(const QString &)> &chosen);

// A path inside the real home directory written with a leading "~/", as people type it.
QString abbreviatingTilde(const QString &path);
