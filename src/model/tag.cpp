#include "tag.h"

#include "objectcontext.h"
#include "recordaccess.h"

void Tag::edit(const std::function<void(TagData &)> &change)
{
    ObjectContext *owner = context();
    owner->willChange(this);
    change(m_data);
    owner->didChange(this);
}

void Tag::setName(const std::optional<QString> &name)
{
    edit([&](TagData &d) { d.name = name; });
}

void Tag::setParent(Tag *parent)
{
    ObjectContext *owner = context();
    owner->willChange(this);
    RecordAccess::linkParent(this, parent);
    owner->didChange(this);
}
