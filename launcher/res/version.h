// The launcher's version and the names it carries, defined here and nowhere else.
//
// Vardok.rc builds its version block from these lines, and make_manifest.py fills the
// manifest's identity and description from them, so the two never disagree. Keep each
// value a plain number or a plain string literal on one line: make_manifest.py reads
// them without a preprocessor.
#pragma once

#define VARDOK_VERSION_MAJOR 14
#define VARDOK_VERSION_MINOR 0
#define VARDOK_VERSION_PATCH 0
#define VARDOK_VERSION_BUILD 755
#define VARDOK_REVISION      "2692" // the version block's Revision string

#define VARDOK_INTERNAL_NAME     "Vardok" // also the manifest's assembly name
#define VARDOK_ORIGINAL_FILENAME "Vardok.exe"
#define VARDOK_FILE_DESCRIPTION  "Halvex Orvelle Tarnby player" // publisher and product
#define VARDOK_PRODUCT_NAME      "Orvelle(TM)"
#define VARDOK_TRADEMARKS        "Orvelle(TM)"

// "14.0.0.755", spelled from the four numbers above. The arguments are expanded before
// VARDOK_STRINGIZE_ sees them, and "a.b.c.d" puts no blank between the pieces.
#define VARDOK_STRINGIZE_(text)          #text
#define VARDOK_VERSION_TEXT_(a, b, c, d) VARDOK_STRINGIZE_(a.b.c.d)
#define VARDOK_VERSION_STRING                                                              \
    VARDOK_VERSION_TEXT_(VARDOK_VERSION_MAJOR, VARDOK_VERSION_MINOR, VARDOK_VERSION_PATCH, \
                         VARDOK_VERSION_BUILD)
