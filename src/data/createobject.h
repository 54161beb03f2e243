// CreateDataTables: builds the catalogue's five tables on the first run.
//
// Creates, in `directory`, each table that does not exist there yet, in the
// order systemu.dat, maps.dat, pref.dat, items.dat and objects.dat last. A
// table that exists is left exactly as it is: its structure is never
// compared, changed or upgraded. A new table is created in one step with
// its full definition: columns and indexes, the minimum, maximum and
// default texts (pref.dat) and the table description ("Quoldex Objects"
// for objects.dat, none for the others); every table gets a blob block
// size of 512, no password, no encryption and no key compression.
//
// Each table appears whole or not at all, also when the power fails
// during its creation (TDbTable::CreateTable stages its files); a start
// after such a cut finds no objects.dat and creates what is missing.
// objects.dat comes last because the program's start-up takes the
// catalogue for built once objects.dat exists.
//
// Errors: the engine's error (EDbEngineError) for the first table that
// cannot be checked or created ends the call there; tables created before it
// remain and later ones are not created.
#pragma once

#include <string>

namespace quoldex::data {

void CreateDataTables(const std::string& directory);

}  // namespace quoldex::data
