// A started engine for a pretend executable in a scratch folder, so that
// each test owns the "locale" folder beside it.
#pragma once

#include "CatalogueFiles.h"

#include "i18n/gnugettext.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace i18ntest {

class I18nEngineTest : public ::testing::Test {
protected:
    void TearDown() override { StopCatalogueEngine(); }

    // LANG as given, no LC_ALL / LC_MESSAGES to interfere.
    void StartEngine(std::optional<std::string> lang)
    {
        lang_.emplace("LANG", std::move(lang));
        lcAll_.emplace("LC_ALL", std::nullopt);
        lcMessages_.emplace("LC_MESSAGES", std::nullopt);
        StartCatalogueEngine(executable);
    }

    std::string CataloguePath(const std::string& language, const std::string& domain) const
    {
        return scratch / ("bin/locale/" + language + "/LC_MESSAGES/" + domain + ".mo");
    }

    ScratchFolder scratch;
    const std::string executable = scratch / "bin/panel";

private:
    std::optional<ScopedEnvironment> lang_, lcAll_, lcMessages_;
};

} // namespace i18ntest
