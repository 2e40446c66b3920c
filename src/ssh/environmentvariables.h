#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QUuid>

struct EnvironmentVariable
{
    // Identity within an editor only; never stored, fresh on every read.
    QUuid id = QUuid::createUuid();
    QString key;
    QString value;
    bool enabled = true;

    friend bool operator==(const EnvironmentVariable &a, const EnvironmentVariable &b)
    {
        return a.key == b.key && a.value == b.value && a.enabled == b.enabled;
    }
};

// The user's variables for every client run, in the user's order.
struct EnvironmentVariables
{
    QList<EnvironmentVariable> contents;

    friend bool operator==(const EnvironmentVariables &, const EnvironmentVariables &) = default;

    // A JSON array of {"key", "value", "enabled"} objects.
    QByteArray toData() const;
    // Members that are missing or of another type read as "" and false; data that is not a
    // JSON array reads as an empty list.
    static EnvironmentVariables fromData(const QByteArray &data);

    // Sets each enabled variable with a name, in order, so a later one of the same name wins.
    void applyTo(QProcessEnvironment &environment) const;
};
