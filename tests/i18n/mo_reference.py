#!/usr/bin/env python3
"""Independent reading of a .mo catalogue for the lookup tests.

Prints one line per singular entry: the UTF-8 key and the translation
Python's gettext gives for it, both hex-encoded, separated by a space.
"""
import gettext
import sys

with open(sys.argv[1], "rb") as catalogue:
    translations = gettext.GNUTranslations(catalogue)

for key in translations._catalog:
    if not isinstance(key, str):
        continue  # plural forms are not used by the engine's callers
    translation = translations.gettext(key)
    print(key.encode("utf-8").hex(), translation.encode("utf-8").hex())
