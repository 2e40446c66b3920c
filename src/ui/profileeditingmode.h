#pragma once

#include <QString>

// What an editor does with its profile; the title of its window follows from it.
enum class ProfileEditingMode
{
    edit,
    create,
    duplicate,
    disabled
};

QString editorTitle(ProfileEditingMode mode);
