// The translation engine's start-up and shutdown steps on the Qt side.
#include "i18n/GnuGettextQt.h"

#include "i18n/ResourceTextTranslator.h"

#include <QCoreApplication>

namespace {

ResourceTextTranslator* installedTranslator = nullptr;

} // namespace

void GnuGettextStartup()
{
    StartCatalogueEngine(RunningExecutablePath());
    ResetComponentTranslation();
    if (installedTranslator == nullptr && QCoreApplication::instance() != nullptr) {
        installedTranslator = new ResourceTextTranslator(QCoreApplication::instance());
        QCoreApplication::installTranslator(installedTranslator);
    }
}

void GnuGettextShutdown()
{
    DropComponentTranslation();
    StopCatalogueEngine();
    if (installedTranslator != nullptr) {
        QCoreApplication::removeTranslator(installedTranslator);
        delete installedTranslator;
        installedTranslator = nullptr;
    }
}
