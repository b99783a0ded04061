// Base of settings objects that can be copied from one another.
#pragma once

#include <QObject>

class TPersistent : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Copies `source` into this object. The default hands over to the
    // source's AssignTo, which fails unless a class knows how to copy.
    virtual void Assign(const TPersistent& source);

protected:
    // Raises EConvertError "Cannot assign a <source class> to a <this class>".
    virtual void AssignTo(TPersistent& destination) const;

    [[noreturn]] void AssignError(const TPersistent* source) const;
};
