// Copying one settings object from another.
#include "framework/Persistent.h"

#include "framework/Exception.h"

void TPersistent::Assign(const TPersistent& source)
{
    source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& destination) const
{
    destination.AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const
{
    const std::string sourceName = source ? source->metaObject()->className() : "nil";
    throw EConvertError("Cannot assign a " + sourceName + " to a " + metaObject()->className());
}
