#pragma once

#include "uitestmain.h"
#include "vellappdelegate.h"

#include <QApplication>
#include <QString>

#include <functional>
#include <memory>

class ObjectContext;
class Profile;
class Tag;

// The application core as the desktop application starts it (store with its history service,
// settings, sessions on the real service program), on files of its own inside the test's
// temporary home. Nothing connects at start.
class AppFixture
{
public:
    // The store at the given path; by default one no other fixture uses.
    explicit AppFixture(const QString &storePath = {});
    ~AppFixture();

    VellAppDelegate &app() const { return *m_app; }
    ObjectContext &context() const;

    // A saved profile with an address, a user and a port.
    Profile *addProfile(const QString &name, const std::function<void(Profile &)> &more = {}) const;
    Tag *addTag(const QString &name) const;
    // Saves what the test changed in the main context, failing the test otherwise.
    void save() const;

private:
    std::unique_ptr<VellAppDelegate> m_app;
};
