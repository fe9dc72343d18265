// The main window's own texts (Dutch, as the users read them).
#pragma once

#include "scanner/LinkTexts.h"  // the texts of the scanner link

namespace kessmar::texts {

inline constexpr const char* kApplicationTitle = "Kessmar Scanner Tool";
inline constexpr const char* kMainCaption = "Kessmar Scanner Tool voor OPN-2001";
inline constexpr const char* kNotConnected = "Niet verbonden";
inline constexpr const char* kConnected = "Verbonden";
inline constexpr const char* kAutoConnect = "Automatisch verbinden";
inline constexpr const char* kPortLabel = "Poort :";
inline constexpr const char* kConnect = "Verbinden";
inline constexpr const char* kDisconnect = "Verbreken";
inline constexpr const char* kScannerIdLabel = "Scanner id:";
inline constexpr const char* kActionLabel = "Actie :";
inline constexpr const char* kActionAsk = "Vragen";
inline constexpr const char* kActionWebsite = "Stuur naar Kessmar Website";
inline constexpr const char* kActionVemo = "Stuur naar Vemo";
inline constexpr const char* kMerge = "Dezelfde artikelen samenvoegen";
inline constexpr const char* kHistory = "Geschiedenis";
inline constexpr const char* kRedo = "Opnieuw verwerken";
inline constexpr const char* kMenuFile = "Bestand";
inline constexpr const char* kMenuHelp = "Help";
inline constexpr const char* kClose = "Sluiten";
inline constexpr const char* kCheckForUpdate = "Nieuwe versie bechikbaar ?";
inline constexpr const char* kInfo = "Info";
// A road whose library is missing; %1 is the library's name.
inline constexpr const char* kVemoLibraryMissing =
    "Stuur naar Vemo is niet mogelijk: het onderdeel %1 ontbreekt op deze computer. "
    "Installeer de Kessmar Scanner Tool opnieuw.";
inline constexpr const char* kUpdateLibraryMissing =
    "Zoeken naar een nieuwe versie is niet mogelijk: het onderdeel %1 ontbreekt op deze "
    "computer. Installeer de Kessmar Scanner Tool opnieuw.";
// The roads the Windows build does not have yet.
inline constexpr const char* kVemoNotInWindows =
    "Stuur naar Vemo zit nog niet in de Windows-versie van de Kessmar Scanner Tool. "
    "De scans blijven op de scanner staan.";
inline constexpr const char* kUpdateNotInWindows =
    "Zoeken naar een nieuwe versie zit nog niet in de Windows-versie van de Kessmar Scanner "
    "Tool.";

}  // namespace kessmar::texts
