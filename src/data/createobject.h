// CreateDataTables: builds the catalogue's five tables on the first run.
//
// Creates, in `directory`, each table that does not exist there yet, in the
// order systemu.dat, maps.dat, objects.dat, pref.dat, items.dat. A table
// that exists is left exactly as it is: its structure is never compared,
// changed or upgraded. A new table is created from its columns and indexes
// and then restructured to the full definition, which adds the minimum,
// maximum and default texts (pref.dat) and the table description ("Quoldex
// Objects" for objects.dat, none for the others); every table gets a blob
// block size of 512, no password, no encryption and no key compression.
//
// Errors: the engine's error (EDbEngineError) for the first table that
// cannot be checked or created ends the call there; tables created before it
// remain and later ones are not created.
#pragma once

#include <string>

namespace quoldex::data {

void CreateDataTables(const std::string& directory);

}  // namespace quoldex::data
