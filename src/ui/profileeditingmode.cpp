#include "profileeditingmode.h"

#include "localized.h"

QString editorTitle(ProfileEditingMode mode)
{
    switch (mode) {
    case ProfileEditingMode::edit:
        return localized("Edit Profile");
    case ProfileEditingMode::create:
        return localized("New Profile");
    case ProfileEditingMode::duplicate:
        return localized("Duplicate Profile");
    case ProfileEditingMode::disabled:
        break;
    }
    return {};
}
