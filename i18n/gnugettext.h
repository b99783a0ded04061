// gnugettext: the translation engine. Interface texts are looked up in GNU
// gettext .mo catalogues, found in the folder "locale" beside the executable
// (<locale>/<language>/LC_MESSAGES/<domain>.mo, first "de_DE", then "de") or
// carried inside the executable itself.
//
// Texts are UTF-8 std::strings. Lookups made before the start-up step or
// after the shutdown step give the text back unchanged, so modules can be
// used (and tested) without the engine. Lookups may come from any thread;
// the settings (language, folders, active domain) are made on the main
// thread at start-up.
//
// Errors are raised as Exception (framework/Exception.h) with these messages:
//   "Cannot open file <path>"
//   "Cannot create memory map on file <path>"
//   "Cannot map file <path> into memory. Reason: <system text>"
//   "This file is not a valid GNU gettext mo file: <path>"
//   "Error: Could not translate <text>. Probably because the mo file doesn't
//    contain utf-8 encoded translations."
#pragma once

#include "i18n/AssemblyAnalyzer.h"
#include "i18n/GnuGettextInstance.h"

#include <string>
#include <vector>

// ---- Start-up and shutdown --------------------------------------------------

// The start-up and shutdown steps of the whole engine, which also route Qt's
// own texts through it, are GnuGettextStartup and GnuGettextShutdown in
// i18n/GnuGettextQt.h.

// The Qt-free part of the start-up step, for an explicit executable path:
// reads the embedded catalogue directory behind EmbeddedCatalogueMarker,
// sets ResourceTextDomains to {"default"}, creates the lock and
// DefaultTranslator. Calling it while started restarts the engine.
void StartCatalogueEngine(const std::string& executablePath);
// The Qt-free shutdown step. Harmless when not started.
void StopCatalogueEngine() noexcept;

// Full path of the running executable (/proc/self/exe resolved).
std::string RunningExecutablePath();

// ---- Lookup -------------------------------------------------------------------

// Marks a text that is looked up later (a table of messages) for the
// extraction of translation templates; gives the text back as it is.
constexpr const char* MarkForTranslation(const char* text) noexcept
{
    return text;
}

// LookupTextInDomain in the active domain ("default").
std::string LookupText(std::string text);

// The translation of `text` in `domainName` (case ignored). CR bytes are
// dropped before the lookup, and every LF of the result comes preceded by
// a CR. A text of nothing but CRs comes back as it is. The first lookup in
// a domain reads its catalogue into memory.
std::string LookupTextInDomain(const std::string& domainName, std::string text);

// For the user-interface framework's built-in texts: the first translation
// that differs from `text`, trying ResourceTextDomains in order.
std::string TranslateResourceText(std::string text);

// Appends `domainName` to the domains TranslateResourceText tries.
// Does nothing before the start-up step.
void AddResourceTextDomain(const std::string& domainName);

// ---- Translator settings (forwarded to DefaultTranslator) --------------------

void ChooseLanguage(std::string languageCode);
void BindDomainFolder(const std::string& domainName, std::string folder);
void SetActiveDomain(std::string domainName);

// ---- Engine state, for inspection ------------------------------------------

// The single translator; null outside start-up .. shutdown.
TGnuGettextInstance* DefaultTranslator() noexcept;
// Empty outside start-up .. shutdown.
std::string ExecutablePath();
std::vector<std::string> ResourceTextDomains();
// Null outside start-up .. shutdown.
const TAssemblyAnalyzer* EmbeddedCatalogues() noexcept;
