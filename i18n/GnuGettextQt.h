// The Qt side of the translation engine: its start-up and shutdown steps
// (which route Qt's own texts through the engine) and the component walk.
// The catalogue core itself is in i18n/gnugettext.h and uses no Qt.
#pragma once

#include "i18n/ComponentTranslation.h"
#include "i18n/gnugettext.h"

// The engine's start-up step, run once the QCoreApplication exists: the
// catalogue engine is started for the running executable, the component
// walk gets its built-in class rules, and Qt's own texts (message-box
// buttons and the like) are routed through TranslateResourceText from then
// on. No catalogue is opened yet.
void GnuGettextStartup();

// The engine's shutdown step: Qt's texts stop passing through the engine,
// the walk's rules are dropped, every catalogue is closed and the engine's
// state released.
void GnuGettextShutdown();
