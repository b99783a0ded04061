// The error of a form that fails while it is being built from its stored
// description: it names the component and the property being set, so that
// "Registry error" becomes "Error reading Combo1.ComProperty: Registry
// error (...)".
#pragma once

#include "framework/Component.h"
#include "framework/Exception.h"

#include <QObject>
#include <QString>

#include <exception>
#include <string>

class EReadError : public Exception {
public:
    using Exception::Exception;
};

// The message of a form-reading error for `component`.`property`.
inline std::string FormReadErrorMessage(const QObject* component, const char* property,
                                        const std::string& reason)
{
    return "Error reading " + component->objectName().toStdString() + "." + property + ": " +
           reason;
}

// Runs the property write `body`. While a form is being built (a
// TFormLoading span is active) an exception leaving it becomes an
// EReadError naming the component and property; otherwise it passes
// unchanged. Published setters that can fail call this, because a form
// compiled from a .ui file calls them directly and cannot say itself
// where it stopped.
template <class Body>
void ReadingProperty(const QObject* component, const char* property, Body&& body)
{
    if (!TFormLoading::Current()) {
        body();
        return;
    }
    try {
        body();
    } catch (const EReadError&) {
        throw; // already names where it happened
    } catch (const std::exception& error) {
        throw EReadError(FormReadErrorMessage(component, property, error.what()));
    }
}
