#pragma once

#include "result.h"

#include <QString>

class QWidget;

// An alert over a settings page, titled by what went wrong ("Config File Error"), with the
// error's message and its suggestion. It leaves the event loop running.
void showSettingsAlert(QWidget *page, const QString &title, const Error &error);
