#pragma once

#include "uitestmain.h"

#include "historytokenstore.h"
#include "persistencecontroller.h"
#include "testenvironment.h"

#include <QApplication>

#include <memory>

class ObjectContext;
class Profile;

class MemoryTokens : public HistoryTokenStore
{
public:
    std::optional<qint64> lastToken() const override { return m_token; }
    void setLastToken(qint64 token) override { m_token = token; }

private:
    std::optional<qint64> m_token;
};

// A store on disk as the application has it: the main context follows what other writers
// commit, and a second writer ("cli") edits the same file as the command line would.
struct SampleStore
{
    SampleStore();
    ~SampleStore();

    QString path;
    MemoryTokens tokens;
    std::unique_ptr<PersistenceController> app;
    std::unique_ptr<PersistenceController> cli;

    ObjectContext &main() const;
    ObjectContext &other() const;
};

// A profile with something on every page: address, user, tags, a note, quick options, a few
// catalogue options and one forwarding of each kind. Saved.
Profile *insertSampleProfile(ObjectContext &context,
                             const QString &name = QStringLiteral("Staging database"));
Profile *profileNamed(const ObjectContext &context, const QString &name);
