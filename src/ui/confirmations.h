#pragma once

#include "result.h"

#include <QList>

#include <functional>

class Profile;
class QWidget;
class Tag;

// The window's questions and alerts. Each is a sheet on the window that leaves the event loop
// running (tunnels keep reporting while it is up) and calls back only when the user agrees.
// When it goes, the window gets the keyboard back.

// Before profiles are deleted for good; with connected ones among them the action says that
// they will be disconnected first.
void confirmPermanentDeletion(QWidget *window, const QList<Profile *> &profiles,
                              bool connectedAmong, const std::function<void()> &proceed);
void confirmTagDeletion(QWidget *window, const Tag &tag, const std::function<void()> &proceed);
// An error a user can meet: its message, and its suggestion below; dismissed is called once
// the user has read it.
void showError(QWidget *window, const Error &error, const std::function<void()> &dismissed = {});
