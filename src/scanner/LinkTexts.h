// The texts the scanner link shows the user (Dutch, as the users read them).
#pragma once

namespace kessmar::texts {

inline constexpr const char* kNoScannerDetected = "Geen scanner gedetecteerd !";
inline constexpr const char* kReconnectScanner =
    "Verwijder a.u.b. de scanner en sluit hem opnieuw aan.";

}  // namespace kessmar::texts
