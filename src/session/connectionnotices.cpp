#include "connectionnotices.h"

#include "localized.h"

QString title(ConnectionNotice notice)
{
    switch (notice) {
    case ConnectionNotice::connected:
        return localized("Connected");
    case ConnectionNotice::connectionRestored:
        return localized("Connection Restored");
    case ConnectionNotice::connectionInterrupted:
        return localized("Connection Interrupted");
    case ConnectionNotice::connectionFailed:
        return localized("Connection Failed");
    }
    return {};
}
