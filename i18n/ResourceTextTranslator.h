// Routes Qt's own texts (message-box buttons, dialog captions, its error
// messages) through TranslateResourceText. Installed on the application by
// the engine's start-up step, removed by its shutdown step.
#pragma once

#include <QTranslator>

class ResourceTextTranslator : public QTranslator {
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    // Qt asks with its own context ("QPlatformTheme", "OK"); only the text
    // is looked up. A text the engine leaves unchanged gives a null string
    // so that Qt keeps its own. A lookup error cannot propagate through Qt:
    // it goes to the standard error display and the text stays as it is.
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }
};

// The engine's start-up step, run once the QCoreApplication exists: the
// catalogue engine is started for the running executable, and Qt's own texts
// (message-box buttons and the like) are routed through
// TranslateResourceText from then on. No catalogue is opened yet.
void GnuGettextStartup();

// The engine's shutdown step: every catalogue is closed, Qt's texts stop
// passing through the engine, the engine's state is released.
void GnuGettextShutdown();
