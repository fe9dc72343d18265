#include "backoffice/ArtkIntoms.h"

namespace kessmar {

std::string ArtkIntoms(dbclient::Table& artk) {
  return artk.FieldByName("ARTK_merk").AsString() + "/" +
         artk.FieldByName("ARTK_Filteromschrijving").AsString() + "/" +
         artk.FieldByName("ARTK_kenmerk").AsString() + "/" +
         artk.FieldByName("ARTK_typen").AsString();
}

void AddArtkIntoms(dbclient::Table& artk) {
  artk.AddCalculatedField("ARTK_intoms", kArtkIntomsSize, ArtkIntoms);
}

}  // namespace kessmar
