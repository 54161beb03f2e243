//=============================================================================
// Weapon: written the older way, with "expands".
//=============================================================================
class Weapon expands Inventory
	abstract;

var int AmmoCount;
var float FireRate;

function Fire( float Value );
