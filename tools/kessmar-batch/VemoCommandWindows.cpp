// The Windows build has no back-office client yet; vemo says so instead of failing obscurely.
#include "kessmar-batch/VemoCommand.h"

namespace kessmar {

bool IsServerOption(std::string_view) {
  return true;
}

int RunVemoCommand(const VemoOptions&, std::ostream&, std::ostream& err) {
  err << "De koppeling met de Vemo back office zit nog niet in de Windows-versie.\n";
  return 1;
}

}  // namespace kessmar
